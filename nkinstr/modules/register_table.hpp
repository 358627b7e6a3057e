#pragma once
// A map from register names to values with constant-time access, used by the
// validation passes so that each stays linear in the size of the function.
//
// Register numbers are dense after SSA normalisation (0, 1, 2, ...), so a
// vector indexed by number is the common case. Functions built in memory or
// decoded from storage may carry scattered numbers; when the largest number is
// far beyond the number of registers the table falls back to a hash map, so
// that one huge register number never causes a huge allocation.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "nkinstr/modules/function.hpp"

namespace nkinstr {

template <class T>
class RegisterTable {
public:
    // `count`: how many names will be stored; `max_id`: the largest of them.
    RegisterTable(std::size_t count, std::uint32_t max_id) {
        if (std::size_t(max_id) < 2 * count + 1024) {
            dense_.resize(std::size_t(max_id) + 1);
        } else {
            sparse_.reserve(count);
        }
    }

    const T* find(Name n) const {
        if (n.id < dense_.size()) return dense_[n.id] ? &*dense_[n.id] : nullptr;
        if (sparse_.empty()) return nullptr;
        auto it = sparse_.find(n.id);
        return it == sparse_.end() ? nullptr : &it->second;
    }
    bool contains(Name n) const { return find(n) != nullptr; }

    // Inserts or replaces; true when the name was not present before.
    bool insert_or_assign(Name n, T value) {
        if (n.id < dense_.size()) {
            const bool fresh = !dense_[n.id].has_value();
            dense_[n.id] = std::move(value);
            return fresh;
        }
        return sparse_.insert_or_assign(n.id, std::move(value)).second;
    }

private:
    std::vector<std::optional<T>> dense_;
    std::unordered_map<std::uint32_t, T> sparse_;
};

// Number and largest id of the names a function defines (parameters and
// instruction destinations), to size a RegisterTable.
struct DefinitionStats {
    std::size_t count = 0;
    std::uint32_t max_id = 0;
};

inline DefinitionStats definition_stats(const Function& f) {
    DefinitionStats s;
    auto note = [&](Name n) {
        ++s.count;
        s.max_id = std::max(s.max_id, n.id);
    };
    for (const auto& p : f.params) note(p.first);
    for (const auto& [label, block] : f.body)
        for (const auto& instr : block.instructions)
            if (auto d = instr.destination()) note(*d);
    return s;
}

template <class T>
RegisterTable<T> make_register_table(const Function& f) {
    const DefinitionStats s = definition_stats(f);
    return RegisterTable<T>(s.count, s.max_id);
}

}  // namespace nkinstr
