#include "nkinstr/types/primary.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

namespace {
constexpr std::string_view kFTypeTexts[] = {"fp16", "bf16", "fp32", "fp64", "fp128", "x86_fp80", "ppc_fp128"};
constexpr std::string_view kFTypeNames[] = {"Fp16", "Bf16", "Fp32", "Fp64", "Fp128", "X86Fp80", "PPCFp128"};
constexpr unsigned kFTypeBits[] = {16, 16, 32, 64, 128, 80, 128};

void append_u64(std::string& out, std::uint64_t v) {
    char buf[24];
    auto r = fmt::format_to_n(buf, sizeof buf, "{}", v);
    out.append(buf, r.size);
}
}  // namespace

Result<IType, std::string> IType::create(std::uint32_t num_bits) {
    if (num_bits < kMinBits || num_bits > kMaxBits)
        return fail(fmt::format("cannot create IType with width {} (must be between {} and {})", num_bits,
                                kMinBits, kMaxBits));
    return IType{num_bits};
}

std::string_view ftype_text(FType t) { return kFTypeTexts[static_cast<int>(t)]; }
std::string_view ftype_debug_name(FType t) { return kFTypeNames[static_cast<int>(t)]; }
unsigned ftype_bits(FType t) { return kFTypeBits[static_cast<int>(t)]; }
unsigned ftype_bytes(FType t) { return (kFTypeBits[static_cast<int>(t)] + 7) / 8; }

std::optional<FType> parse_ftype(std::string_view text) {
    for (int i = 0; i < kFTypeCount; ++i)
        if (kFTypeTexts[i] == text) return static_cast<FType>(i);
    return std::nullopt;
}

PrimaryType to_primary(const PrimaryBasicType& basic) {
    return std::visit([](const auto& v) -> PrimaryType { return v; }, basic);
}

void append_wildcard_name(std::string& out, std::uint16_t index) {
    if (index < 26) {
        out.push_back(char('A' + index));
    } else {
        out.push_back('_');
        append_u64(out, index);
    }
}

std::string wildcard_name(std::uint16_t index) {
    std::string s;
    append_wildcard_name(s, index);
    return s;
}

void append_text(std::string& out, const IType& t) {
    out.push_back('i');
    append_u64(out, t.num_bits);
}

void append_text(std::string& out, const ExtType& t) {
    out += "ext<";
    t.uuid.append_to(out);
    out.push_back('>');
    if (!t.params.empty()) {
        out.push_back('(');
        for (std::size_t i = 0; i < t.params.size(); ++i) {
            if (i) out += ", ";
            append_u64(out, t.params[i]);
        }
        out.push_back(')');
    }
}

void append_text(std::string& out, const VcSize& s) {
    if (s.kind == VcSize::Kind::Scalable) out += "vscale ";
    append_u64(out, s.lanes);
}

namespace {
template <class Variant>
void append_scalar(std::string& out, const Variant& t) {
    std::visit(Overloaded{
                   [&](const IType& v) { append_text(out, v); },
                   [&](FType v) { out += ftype_text(v); },
                   [&](const ExtType& v) { append_text(out, v); },
                   [&](const PtrType&) { out += "ptr"; },
                   [&](const WildcardType& v) { append_wildcard_name(out, v.index); },
                   [&](const VectorType& v) {
                       out.push_back('<');
                       append_text(out, v.size);
                       out += " x ";
                       append_text(out, v.element);
                       out.push_back('>');
                   },
                   [&](const LabelType&) { out += "label"; },
               },
               t);
}
}  // namespace

void append_text(std::string& out, const PrimaryBasicType& t) { append_scalar(out, t); }
void append_text(std::string& out, const PrimaryType& t) { append_scalar(out, t); }

std::string to_string(const PrimaryType& t) {
    std::string s;
    append_text(s, t);
    return s;
}
std::string to_string(const PrimaryBasicType& t) {
    std::string s;
    append_text(s, t);
    return s;
}
std::string to_string(const VcSize& s) {
    std::string out;
    append_text(out, s);
    return out;
}

}  // namespace nkinstr
