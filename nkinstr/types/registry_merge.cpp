// Merging another registry into this one.
//
// The result is that of repeated passes over the other registry's entries in
// reference order, where an entry is interned once all its components are
// mapped (earlier in the same pass counts) and the merge stops when a pass
// maps nothing. Running those passes literally costs one pass per level of
// "refers to a later entry", which a crafted stored registry can make as long
// as the registry itself. Instead the pass in which each entry would be
// interned is computed directly, and the entries are interned in (pass,
// position) order: the same calls in the same order, in O(n log n).

#include <algorithm>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "nkinstr/types/registry.hpp"

namespace nkinstr {

namespace {

constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();

struct MergeEntry {
    Typeref ref;
    const AnyType* type;
    std::vector<std::size_t> deps;  // positions of non-wildcard components (kMissing if absent)
    std::size_t pass = 0;           // 0: not computed yet; kNever: cannot be resolved
};

// Pass of `e` from the passes of its components: a component at a later
// position is only seen in the pass after its own.
std::size_t pass_from_components(const std::vector<MergeEntry>& entries, std::size_t e) {
    std::size_t pass = 1;
    for (std::size_t d : entries[e].deps) {
        if (d == kMissing || entries[d].pass == kNever) return kNever;
        pass = std::max(pass, entries[d].pass + (d > e ? 1 : 0));
    }
    return pass;
}

// Depth-first over components with an explicit stack (nesting depth is
// input-controlled). A component still on the stack closes a cycle: never.
void compute_passes(std::vector<MergeEntry>& entries) {
    constexpr std::size_t kOnStack = kNever - 1;
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // (entry, next component)
    for (std::size_t root = 0; root < entries.size(); ++root) {
        if (entries[root].pass != 0) continue;
        entries[root].pass = kOnStack;
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            auto& [e, next] = stack.back();
            if (next < entries[e].deps.size()) {
                const std::size_t d = entries[e].deps[next++];
                if (d != kMissing && entries[d].pass == 0) {
                    entries[d].pass = kOnStack;
                    stack.emplace_back(d, 0);
                } else if (d != kMissing && entries[d].pass == kOnStack) {
                    entries[e].deps.assign(1, kMissing);  // part of a cycle
                }
                continue;
            }
            const std::size_t done = e;
            stack.pop_back();
            entries[done].pass = pass_from_components(entries, done);
        }
    }
}

}  // namespace

Result<TypeMap, std::string> TypeRegistry::merge_with(const TypeRegistry& other) {
    // Merging into itself would wait forever to upgrade against its own shared
    // lock; every type of a registry already maps onto itself.
    if (&other == this) {
        TypeMap identity;
        for_each_entry([&](const Typeref& r, const AnyType&) { identity.emplace_hint(identity.end(), r, r); });
        return identity;
    }
    SharedGuard other_guard(other.types_lock_);

    std::vector<MergeEntry> entries;
    entries.reserve(other.types_.size());
    for (const auto& [ref, ty] : other.types_) {
        // A wildcard reference names no entry; one found as a key (a corrupt
        // stored registry) must not turn into a mapping of that wildcard.
        if (!ref.is_wildcard()) entries.push_back({ref, &ty, {}, 0});
    }
    const auto position_of = [&](const Typeref& r) {
        auto it = std::lower_bound(entries.begin(), entries.end(), r,
                                   [](const MergeEntry& e, const Typeref& key) { return e.ref < key; });
        return it != entries.end() && it->ref == r ? std::size_t(it - entries.begin()) : kMissing;
    };
    for (auto& e : entries)
        for_each_component(*e.type, [&](const Typeref& r) {
            if (!r.is_wildcard()) e.deps.push_back(position_of(r));
        });
    compute_passes(entries);

    std::vector<std::size_t> order;
    order.reserve(entries.size());
    for (std::size_t e = 0; e < entries.size(); ++e)
        if (entries[e].pass != kNever) order.push_back(e);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].pass < entries[b].pass; });

    TypeMap result;
    for (std::size_t e : order) {
        AnyType rewritten = *entries[e].type;
        for_each_component_mut(rewritten, [&](Typeref& r) {
            if (auto it = result.find(r); it != result.end() && !r.is_wildcard()) r = it->second;
        });
        result.emplace(entries[e].ref, search_or_insert(std::move(rewritten)));
    }

    if (order.size() == entries.size()) return result;
    // Report the first entry that no pass could resolve and its first such component.
    for (const auto& e : entries) {
        if (e.pass != kNever) continue;
        Typeref missing{};
        bool found = false;
        for_each_component(*e.type, [&](const Typeref& r) {
            if (!found && !r.is_wildcard() && !result.count(r)) missing = r, found = true;
        });
        return fail(fmt::format("cannot merge type registry: {} types refer to types it does not hold "
                                "(type {} refers to {})",
                                entries.size() - order.size(), e.ref.uuid.to_string(), missing.uuid.to_string()));
    }
    return result;
}

}  // namespace nkinstr
