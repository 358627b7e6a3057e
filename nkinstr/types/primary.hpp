#pragma once
// Primary (non-aggregate) types: integers, floating formats, extension types,
// pointers, wildcards, vectors of scalars and the label type. The variant order
// of every enumeration is its tag in the byte encoding and in the content hash.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "nkinstr/utils/result.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr {

struct IType {
    static constexpr std::uint32_t kMinBits = 1;
    static constexpr std::uint32_t kMaxBits = 8388607;  // 2^23 - 1

    std::uint32_t num_bits = 0;

    // The checked constructor used by the text reader; fails with
    // "cannot create IType with width {} (must be between {} and {})".
    static Result<IType, std::string> create(std::uint32_t num_bits);

    friend bool operator==(const IType&, const IType&) = default;
};

enum class FType : std::uint8_t { Fp16, Bf16, Fp32, Fp64, Fp128, X86Fp80, PPCFp128 };
inline constexpr int kFTypeCount = 7;

std::string_view ftype_text(FType t);        // "fp16", ..., "ppc_fp128"
std::string_view ftype_debug_name(FType t);  // "Fp16", ..., "PPCFp128"
std::optional<FType> parse_ftype(std::string_view text);
unsigned ftype_bits(FType t);   // 16, 16, 32, 64, 128, 80, 128
unsigned ftype_bytes(FType t);  // 2, 2, 4, 8, 16, 10, 16

struct ExtType {
    Uuid uuid;
    std::vector<std::uint32_t> params;
    friend bool operator==(const ExtType&, const ExtType&) = default;
};

struct PtrType {
    friend bool operator==(const PtrType&, const PtrType&) = default;
};

struct WildcardType {
    std::uint16_t index = 0;
    friend bool operator==(const WildcardType&, const WildcardType&) = default;
};

struct LabelType {
    friend bool operator==(const LabelType&, const LabelType&) = default;
};

struct VcSize {
    enum class Kind : std::uint8_t { Fixed, Scalable };
    Kind kind = Kind::Fixed;
    std::uint16_t lanes = 0;
    friend bool operator==(const VcSize&, const VcSize&) = default;
};

// Scalar primary type, usable as a vector element. Index = tag.
using PrimaryBasicType = std::variant<IType, FType, ExtType, PtrType, WildcardType>;

struct VectorType {
    PrimaryBasicType element;
    VcSize size;
    friend bool operator==(const VectorType&, const VectorType&) = default;
};

// Index = tag: Int, Float, Ext, Ptr, Wildcard, Vector, LabelType.
using PrimaryType = std::variant<IType, FType, ExtType, PtrType, WildcardType, VectorType, LabelType>;

PrimaryType to_primary(const PrimaryBasicType& basic);

// Text forms.
void append_wildcard_name(std::string& out, std::uint16_t index);  // A..Z, then _26, _27, ...
std::string wildcard_name(std::uint16_t index);
void append_text(std::string& out, const IType& t);
void append_text(std::string& out, const ExtType& t);
void append_text(std::string& out, const VcSize& s);
void append_text(std::string& out, const PrimaryBasicType& t);
void append_text(std::string& out, const PrimaryType& t);
std::string to_string(const PrimaryType& t);
std::string to_string(const PrimaryBasicType& t);
std::string to_string(const VcSize& s);

}  // namespace nkinstr
