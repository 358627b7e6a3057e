#pragma once
// A slot map: values stored under versioned keys. Indices start at 1 so that a
// zero key never names a value; a removed slot is reused with its version
// bumped, which makes the stale key miss instead of reaching the new value.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace nkcore {

struct SlotKey {
    std::uint32_t index = 0;
    std::uint32_t version = 0;
    friend bool operator==(const SlotKey&, const SlotKey&) = default;
};

template <class T>
class SlotMap {
public:
    SlotKey insert(T value) {
        if (!free_.empty()) {
            std::uint32_t index = free_.back();
            free_.pop_back();
            Slot& slot = slots_[index - 1];
            ++slot.version;
            slot.value.emplace(std::move(value));
            ++size_;
            return {index, slot.version};
        }
        slots_.push_back(Slot{1, std::optional<T>(std::move(value))});
        ++size_;
        return {static_cast<std::uint32_t>(slots_.size()), 1};
    }

    const T* get(SlotKey key) const {
        const Slot* slot = slot_of(key);
        return slot ? &*slot->value : nullptr;
    }
    T* get(SlotKey key) {
        const Slot* slot = slot_of(key);
        return slot ? &*const_cast<Slot*>(slot)->value : nullptr;
    }

    std::optional<T> remove(SlotKey key) {
        Slot* slot = const_cast<Slot*>(slot_of(key));
        if (!slot) return std::nullopt;
        std::optional<T> value = std::move(slot->value);
        slot->value.reset();
        free_.push_back(key.index);
        --size_;
        return value;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Visits (key, value) in index order.
    template <class F>
    void for_each(F&& f) const {
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].value) f(SlotKey{static_cast<std::uint32_t>(i + 1), slots_[i].version}, *slots_[i].value);
    }

private:
    struct Slot {
        std::uint32_t version = 0;
        std::optional<T> value;
    };

    const Slot* slot_of(SlotKey key) const {
        if (key.index == 0 || key.index > slots_.size()) return nullptr;
        const Slot& slot = slots_[key.index - 1];
        return slot.value && slot.version == key.version ? &slot : nullptr;
    }

    std::vector<Slot> slots_;
    std::vector<std::uint32_t> free_;
    std::size_t size_ = 0;
};

}  // namespace nkcore
