#pragma once
// The type registry: interns every non-wildcard type under a time-ordered
// (version 6) UUID, resolves references back to types, prints them and merges
// other registries into itself. Thread-safe; entries are never removed.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include <boost/container/small_vector.hpp>

#include "nkinstr/types/aggregate.hpp"
#include "nkinstr/utils/result.hpp"
#include "nkinstr/utils/rwlock.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr {

// How the references of one registry map onto another's (ordered by key).
using TypeMap = std::map<Typeref, Typeref>;

class TypeRegistry {
public:
    using NodeId = std::array<std::uint8_t, 6>;

    // An empty registry with a zero node field and clock 0 (the compile-time registry).
    TypeRegistry() : TypeRegistry(NodeId{}, 0) {}
    TypeRegistry(NodeId node_id, std::uint16_t clock);
    // The registry of an engine instance: node = node_id little-endian, two zero bytes.
    static TypeRegistry for_node(std::uint32_t node_id) { return TypeRegistry(node_bytes_from_id(node_id), 0); }

    // Moving is only allowed while no other thread uses either registry.
    TypeRegistry(TypeRegistry&& other) noexcept;
    TypeRegistry& operator=(TypeRegistry&&) = delete;
    TypeRegistry(const TypeRegistry&) = delete;

    // The reference of an equal registered type, or a new one; a wildcard
    // primary type gets its fixed reference and registers nothing.
    Typeref search_or_insert(AnyType ty);
    Typeref intern(PrimaryType ty) { return search_or_insert(AnyType{std::move(ty)}); }

    // A read view of a registered type that keeps the shared lock while it lives.
    class View {
    public:
        explicit operator bool() const { return type_ != nullptr; }
        const AnyType& operator*() const { return *type_; }
        const AnyType* operator->() const { return type_; }

    private:
        friend class TypeRegistry;
        View(SharedGuard guard, const AnyType* t) : guard_(std::move(guard)), type_(t) {}
        SharedGuard guard_;
        const AnyType* type_;
    };
    // Must not be called with a wildcard reference.
    View get(Typeref r) const;

    // The registered type, or null. Entries never move or change once
    // registered, so the pointer stays valid for the registry's lifetime and
    // no lock is held after the lookup (safe to intern while using it).
    const AnyType* find(Typeref r) const;

    std::size_t len() const;

    // Interns every type of `other`; maps each of its references to ours.
    // Fails (instead of looping) when some type of `other` refers to a
    // reference that `other` does not hold. Merging a registry into itself
    // gives the identity map.
    Result<TypeMap, std::string> merge_with(const TypeRegistry& other);

    // Type text of `r` ("<unknown type {}>" for an unregistered reference, the
    // wildcard's name for a wildcard reference). Iterative: any nesting depth.
    void append_type(std::string& out, Typeref r) const;
    std::string type_text(Typeref r) const;
    // Text of a type value whose components are looked up here.
    void append_any_type(std::string& out, const AnyType& t) const;
    std::string any_type_text(const AnyType& t) const;

    // Storage: visits (reference, type) in ascending reference order under the shared lock.
    template <class F>
    void for_each_entry(F&& f) const {
        SharedGuard g(types_lock_);
        for (const auto& [ref, ty] : types_) f(ref, ty);
    }
    // Storage: inserts a decoded entry (a later equal key replaces an earlier
    // one) and indexes it. Only for a registry being built by one thread.
    void insert_decoded(Typeref r, AnyType ty);
    // A decoded registry starts its clock at a random value.
    void reseed_clock();

    // Structural equality of the type maps.
    bool same_types(const TypeRegistry& other) const;

private:
    using RefList = boost::container::small_vector<Typeref, 1>;

    const AnyType* find_unlocked(Typeref r) const;
    void append_type_unlocked(std::string& out, Typeref r) const;
    void append_any_type_unlocked(std::string& out, const AnyType& t) const;
    void log_registration(std::uint64_t hash, const RefList* previous, const AnyType& ty, Typeref r) const;

    mutable UpgradableRwLock types_lock_;
    std::map<Typeref, AnyType> types_;
    mutable UpgradableRwLock index_lock_;
    std::unordered_map<std::uint64_t, RefList> inverse_lookup_;
    UuidClock clock_;
    NodeId node_id_;
};

}  // namespace nkinstr
