#include "nkinstr/modules/parser/state.hpp"

namespace nkinstr::parser {

namespace {
std::size_t name_hash(std::string_view s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}
}  // namespace

std::uint32_t NameNumbering::get(std::string_view name) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = name_hash(name) & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (!s.used) {
            s = Slot{name, static_cast<std::uint32_t>(count_), true};
            used_slots_.push_back(static_cast<std::uint32_t>(i));
            return static_cast<std::uint32_t>(count_++);
        }
        if (s.name == name) return s.number;
    }
}

void NameNumbering::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    used_slots_.clear();
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.used) continue;
        std::size_t i = name_hash(s.name) & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = s;
        used_slots_.push_back(static_cast<std::uint32_t>(i));
    }
}

void NameNumbering::clear() {
    for (std::uint32_t i : used_slots_) slots_[i] = Slot{};
    used_slots_.clear();
    count_ = 0;
}

}  // namespace nkinstr::parser
