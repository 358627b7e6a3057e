// Type rules of integer and floating-point arithmetic, comparisons and casts.

#include <fmt/format.h>

#include "nkinstr/types/checker/checker.hpp"

namespace nkinstr::checker {

namespace {

// "one of fp128, x86_fp80, ppc_fp128": the formats whose byte size passes `keep`, in FType order.
template <class Keep>
std::string float_choices(Keep keep) {
    std::string out = "one of ";
    bool first = true;
    for (int i = 0; i < kFTypeCount; ++i) {
        const auto t = static_cast<FType>(i);
        if (!keep(ftype_bytes(t))) continue;
        if (!first) out += ", ";
        out += ftype_text(t);
        first = false;
    }
    return out;
}

// Bit size of an integer or floating scalar (or vector element); 0 otherwise.
std::uint32_t scalar_bits(const Shape& s) {
    if (s.scalar == Scalar::Int) return s.bits;
    if (s.scalar == Scalar::Float) return ftype_bits(s.ftype);
    return 0;
}

}  // namespace

Status Checker::check_int_arith(const NkInstr& instr, Typeref ty) {
    if (!shape(ty).int_or_int_vector()) return fail(mismatch("iN or <N x iN>", ty));
    Status status;
    instr.for_each_operand([&](const Operand& o) {
        if (status) status = expect_type(o, ty);
    });
    return status;
}

Status Checker::check_float_arith(const NkInstr& instr, Typeref ty) {
    if (!shape(ty).float_or_float_vector()) return fail(mismatch("fp or <N x fp>", ty));
    Status status;
    instr.for_each_operand([&](const Operand& o) {
        if (status) status = expect_type(o, ty);
    });
    return status;
}

Status Checker::check_compare(Typeref ty, const Operand& lhs, const Operand& rhs, Scalar kind) {
    const Shape result = shape(ty);
    const bool bool_result = result.wildcard || (result.element_is(Scalar::Int) &&
                                                 (result.scalar == Scalar::Any || result.bits == 1));
    if (!bool_result) return fail(mismatch("i1 or <N x i1>", ty));

    auto lt = operand_type(lhs);
    if (!lt) return fail(std::move(lt).error());
    auto rt = operand_type(rhs);
    if (!rt) return fail(std::move(rt).error());
    if (!same(*lt, *rt)) return fail(mismatch(*lt, *rt));
    if (result.wildcard) return {};  // scalar or vector: unknown until instantiated

    const bool is_int = kind == Scalar::Int;
    // Both operands have the same type unless one is a wildcard; testing each
    // covers a concrete one beside a wildcard.
    for (Typeref t : {*lt, *rt}) {
        const Shape s = shape(t);
        if (s.wildcard) continue;
        if (!result.vector) {
            if (!(!s.vector && s.element_is(kind))) return fail(mismatch(is_int ? "iN" : "fp", t));
        } else if (!(s.vector && s.size == result.size && s.element_is(kind))) {
            const std::string size = to_string(result.size);
            return fail(mismatch(is_int ? fmt::format("<{} x iN>", size) : fmt::format("<{} x fp>", size), t));
        }
    }
    return {};
}

Status Checker::check_cast(const Cast& cast) {
    auto st = operand_type(cast.value);
    if (!st) return fail(std::move(st).error());
    const Shape s = shape(*st);
    const Shape d = shape(cast.ty);
    // Nothing is known about a wildcard's width or kind.
    if (s.wildcard || d.wildcard) return {};
    if (d.unknown) return fail(mismatch("T", d.ref));

    const bool same_shape = s.vector == d.vector && (!s.vector || s.size == d.size);
    if (s.unknown || !same_shape)
        return fail(mismatch(d.vector ? fmt::format("<{} x T>", to_string(d.size)) : std::string("T"), s.ref));
    return check_cast_variant(cast.variant, s, d);
}

Status Checker::check_cast_variant(CastVariant variant, const Shape& s, const Shape& d) {
    // Vector elements that are wildcards pass every element test.
    if (s.scalar == Scalar::Any || d.scalar == Scalar::Any) return {};
    auto require = [&](const Shape& t, Scalar kind, const char* expected) -> Status {
        if (t.scalar != kind) return fail(mismatch(expected, t.ref));
        return {};
    };
    switch (variant) {
        case CastVariant::Trunc:
            NK_TRY(require(s, Scalar::Int, "iN"));
            NK_TRY(require(d, Scalar::Int, "iN"));
            if (!(d.bits < s.bits)) return fail(mismatch(fmt::format("iN where N < {}", s.bits), d.ref));
            return {};
        case CastVariant::ZExt:
        case CastVariant::SExt:
            NK_TRY(require(s, Scalar::Int, "iN"));
            NK_TRY(require(d, Scalar::Int, "iN"));
            if (!(s.bits < d.bits)) return fail(mismatch(fmt::format("iN where N > {}", s.bits), d.ref));
            return {};
        case CastVariant::FpTrunc: {
            NK_TRY(require(s, Scalar::Float, "fp"));
            NK_TRY(require(d, Scalar::Float, "fp"));
            const unsigned from = ftype_bytes(s.ftype);
            if (!(ftype_bytes(d.ftype) < from))
                return fail(mismatch(float_choices([&](unsigned b) { return b < from; }), d.ref));
            return {};
        }
        case CastVariant::FpExt: {
            NK_TRY(require(s, Scalar::Float, "fp"));
            NK_TRY(require(d, Scalar::Float, "fp"));
            const unsigned from = ftype_bytes(s.ftype);
            if (!(from < ftype_bytes(d.ftype)))
                return fail(mismatch(float_choices([&](unsigned b) { return from < b; }), d.ref));
            return {};
        }
        case CastVariant::FpToUI:
        case CastVariant::FpToSI:
            NK_TRY(require(s, Scalar::Float, "fp"));
            return require(d, Scalar::Int, "iN");
        case CastVariant::UIToFp:
        case CastVariant::SIToFp:
            NK_TRY(require(s, Scalar::Int, "iN"));
            return require(d, Scalar::Float, "fp");
        case CastVariant::PtrToInt:
            NK_TRY(require(s, Scalar::Ptr, "ptr"));
            return require(d, Scalar::Int, "iN");
        case CastVariant::IntToPtr:
            NK_TRY(require(s, Scalar::Int, "iN"));
            return require(d, Scalar::Ptr, "ptr");
        case CastVariant::Bitcast: {
            constexpr const char* kSized = "iN or fp or <K x iN> or <K x fp>";
            const std::uint32_t from = scalar_bits(s);
            if (from == 0) return fail(mismatch(kSized, s.ref));
            const std::uint32_t to = scalar_bits(d);
            if (to == 0) return fail(mismatch(kSized, d.ref));
            if (from != to) return fail(mismatch(fmt::format("type of size {}", from), d.ref));
            return {};
        }
    }
    return {};
}

}  // namespace nkinstr::checker
