#pragma once
// The parser's user state: register and label numbering per function, the
// function-pointer resolver, the source of function identifiers and the type
// registry parsed types are interned into.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr::parser {

// Numbers names 0, 1, 2, ... in order of first appearance. The keys are views
// into the source text, so no name is copied. (Only numbering matters; an
// open-addressing hash table is much faster here than an ordered map.)
class NameNumbering {
public:
    std::uint32_t get(std::string_view name);
    std::size_t size() const { return count_; }
    void clear();

private:
    struct Slot {
        std::string_view name;
        std::uint32_t number = 0;
        bool used = false;
    };
    void grow();

    std::vector<Slot> slots_;
    std::vector<std::uint32_t> used_slots_;  // for a clear proportional to use
    std::size_t count_ = 0;
};

class State {
public:
    // (name, external) -> the function's UUID, or none when unknown.
    using Resolver = std::function<std::optional<Uuid>(std::string_view name, bool external)>;
    using IdSource = std::function<Uuid()>;

    State(TypeRegistry& registry, Resolver resolver, IdSource ids)
        : registry_(registry), resolver_(std::move(resolver)), ids_(std::move(ids)) {}

    std::uint32_t get_register(std::string_view name) { return registers_.get(name); }
    std::uint32_t get_label(std::string_view name) { return labels_.get(name); }
    // Ends a function: the numbering starts again at 0.
    void clear() {
        registers_.clear();
        labels_.clear();
    }

    std::optional<Uuid> resolve_function(std::string_view name, bool external) const {
        return resolver_(name, external);
    }
    Uuid next_function_id() const { return ids_(); }
    TypeRegistry& registry() { return registry_; }

private:
    TypeRegistry& registry_;
    Resolver resolver_;
    IdSource ids_;
    NameNumbering registers_;
    NameNumbering labels_;
};

}  // namespace nkinstr::parser
