#pragma once
// Type references and the aggregate types (arrays, structs) that refer to their
// components through them; AnyType is what a registry entry holds.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "nkinstr/types/primary.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr {

// A 16-byte reference to a type issued by a TypeRegistry. References whose
// bytes follow the wildcard pattern denote a wildcard type by themselves.
struct Typeref {
    Uuid uuid;

    friend auto operator<=>(const Typeref&, const Typeref&) = default;
    friend bool operator==(const Typeref&, const Typeref&) = default;

    // Bytes 0-5, 7 and 9-12 are 0xFF and the high nibble of byte 6 is 8.
    bool is_wildcard() const {
        const auto& b = uuid.bytes;
        for (int i : {0, 1, 2, 3, 4, 5, 7, 9, 10, 11, 12})
            if (b[i] != 0xFF) return false;
        return (b[6] >> 4) == 0x8;
    }
    // The wildcard index (bytes 14-15, little-endian) of a wildcard reference.
    std::uint16_t wildcard_index() const { return std::uint16_t(uuid.bytes[14] | (uuid.bytes[15] << 8)); }
    static Typeref wildcard(std::uint16_t index) {
        Typeref r;
        r.uuid.bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x8F, 0xFF, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                        std::uint8_t(index & 0xFF), std::uint8_t(index >> 8)};
        return r;
    }
    std::string debug_string() const { return "Typeref(" + uuid.to_string() + ")"; }
};

struct TyperefHash {
    std::size_t operator()(const Typeref& r) const noexcept { return UuidHash{}(r.uuid); }
};

struct ArrayType {
    Typeref element_type;
    std::uint16_t num_elements = 0;
    friend bool operator==(const ArrayType&, const ArrayType&) = default;
};

struct StructType {
    std::vector<Typeref> element_types;
    bool packed = false;
    friend bool operator==(const StructType&, const StructType&) = default;
};

// Index = tag: Primary, Array, Struct.
using AnyType = std::variant<PrimaryType, ArrayType, StructType>;

// Calls f on each component reference of an aggregate type (none for a primary type).
template <class F>
void for_each_component(const AnyType& t, F&& f) {
    if (auto* a = std::get_if<ArrayType>(&t)) {
        f(a->element_type);
    } else if (auto* s = std::get_if<StructType>(&t)) {
        for (const auto& e : s->element_types) f(e);
    }
}
template <class F>
void for_each_component_mut(AnyType& t, F&& f) {
    if (auto* a = std::get_if<ArrayType>(&t)) {
        f(a->element_type);
    } else if (auto* s = std::get_if<StructType>(&t)) {
        for (auto& e : s->element_types) f(e);
    }
}

// The 64-bit content hash used to index a registry (SipHash-1-3, zero keys).
std::uint64_t content_hash(const AnyType& t);

}  // namespace nkinstr
