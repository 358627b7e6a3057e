#pragma once
// A concurrent hash map: keys spread over a fixed number of shards, each an
// ordinary hash map behind its own mutex, so that threads touching different
// shards never wait on each other. Values are handed out by copy (use shared
// handles for large or non-copyable values); no reference into a shard
// escapes its lock.

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace nkcore {

template <class K, class V, class Hash = std::hash<K>, std::size_t Shards = 16>
class ShardedMap {
public:
    // Inserts or replaces; returns true when the key was new.
    bool insert(K key, V value) {
        Shard& shard = shard_for(key);
        std::lock_guard guard(shard.mutex);
        return shard.map.insert_or_assign(std::move(key), std::move(value)).second;
    }

    std::optional<V> find(const K& key) const {
        const Shard& shard = shard_for(key);
        std::lock_guard guard(shard.mutex);
        auto it = shard.map.find(key);
        if (it == shard.map.end()) return std::nullopt;
        return it->second;
    }

    bool contains(const K& key) const {
        const Shard& shard = shard_for(key);
        std::lock_guard guard(shard.mutex);
        return shard.map.count(key) != 0;
    }

    bool erase(const K& key) {
        Shard& shard = shard_for(key);
        std::lock_guard guard(shard.mutex);
        return shard.map.erase(key) != 0;
    }

    // A snapshot count: shards are visited one after another.
    std::size_t size() const {
        std::size_t total = 0;
        for (const Shard& shard : shards_) {
            std::lock_guard guard(shard.mutex);
            total += shard.map.size();
        }
        return total;
    }
    bool empty() const { return size() == 0; }

    // Visits every entry, one shard at a time under that shard's lock; `f`
    // must not call back into this map.
    template <class F>
    void for_each(F&& f) const {
        for (const Shard& shard : shards_) {
            std::lock_guard guard(shard.mutex);
            for (const auto& [key, value] : shard.map) f(key, value);
        }
    }

private:
    struct Shard {
        mutable std::mutex mutex;
        std::unordered_map<K, V, Hash> map;
    };

    Shard& shard_for(const K& key) { return shards_[Hash{}(key) % Shards]; }
    const Shard& shard_for(const K& key) const { return shards_[Hash{}(key) % Shards]; }

    std::array<Shard, Shards> shards_;
};

}  // namespace nkcore
