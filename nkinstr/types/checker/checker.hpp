#pragma once
// Internals of the type checker, shared by its per-family rule files.
//
// Wildcard references (type variables of meta-functions) have no shape of
// their own. The checker accepts them wherever a concrete type could stand: a
// wildcard satisfies every shape requirement, equals every type in a "same
// type" comparison, and ends an aggregate walk (whatever lies below it is
// unknown until the wildcard is instantiated). A vector whose element is a
// wildcard is a vector of any element kind. Wildcard references are never
// looked up in the registry.
//
// A reference that is neither a wildcard nor registered is an internal fault
// (every reference of a function comes from the registry it is checked
// against). It is reported as a TypeMismatch whose found text is the
// registry's "<unknown type ...>" text, never as a crash.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/register_table.hpp"
#include "nkinstr/types/registry.hpp"

namespace nkinstr::checker {

// The kind of a scalar type, or of a vector's element.
enum class Scalar : std::uint8_t { Int, Float, Ptr, Any, Other };

// What the checker knows about one type reference.
struct Shape {
    Typeref ref;
    const AnyType* type = nullptr;  // the registry entry; null for wildcards and unknowns
    bool wildcard = false;          // a wildcard reference: matches every requirement
    bool unknown = false;           // neither wildcard nor registered
    bool vector = false;
    VcSize size{};
    Scalar scalar = Scalar::Other;  // the scalar itself, or the vector element
    std::uint32_t bits = 0;         // integer width (scalar == Int)
    FType ftype = FType::Fp16;      // floating format (scalar == Float)

    const StructType* as_struct() const { return type ? std::get_if<StructType>(type) : nullptr; }
    const ArrayType* as_array() const { return type ? std::get_if<ArrayType>(type) : nullptr; }
    const VectorType* as_vector() const;

    // Element kind test that lets a wildcard element pass.
    bool element_is(Scalar k) const { return scalar == k || scalar == Scalar::Any; }
    bool scalar_int() const { return wildcard || (!vector && element_is(Scalar::Int)); }
    bool scalar_float() const { return wildcard || (!vector && element_is(Scalar::Float)); }
    bool is_ptr() const { return wildcard || (!vector && element_is(Scalar::Ptr)); }
    bool is_i1() const {
        return wildcard || (!vector && (scalar == Scalar::Any || (scalar == Scalar::Int && bits == 1)));
    }
    bool int_or_int_vector() const { return wildcard || element_is(Scalar::Int); }
    bool float_or_float_vector() const { return wildcard || element_is(Scalar::Float); }
};

class Checker {
public:
    Checker(const Function& function, TypeRegistry& registry);

    Status run();

private:
    // ---- environment and operand types ----
    Status build_environment();
    Result<Typeref, Error> operand_type(const Operand& o);
    Typeref const_type(const AnyConst& c);
    Shape shape(Typeref r) const;
    Typeref intern_element(const VectorType& v);

    // ---- messages about the instruction or terminator being checked ----
    std::string subject_text() const;
    std::string text(Typeref r) const { return registry_.type_text(r); }
    Error mismatch(std::string expected, std::string found) const;
    Error mismatch(std::string expected, Typeref found) const { return mismatch(std::move(expected), text(found)); }
    Error mismatch(Typeref expected, Typeref found) const { return mismatch(text(expected), text(found)); }
    Error out_of_bounds(std::uint64_t index, Typeref current, std::size_t max) const;
    static bool same(Typeref a, Typeref b) { return a == b || a.is_wildcard() || b.is_wildcard(); }
    // The type of `o` must be `expected` (same-type rule).
    Status expect_type(const Operand& o, Typeref expected);
    // The type of `o` must be i1.
    Status expect_i1(const Operand& o);
    // The type of `o` must be ptr.
    Status expect_ptr(const Operand& o);

    // ---- rules, per family ----
    Status check_instruction(const NkInstr& instr);
    Status check_terminator(const NkTerminator& term);
    Status check_int_arith(const NkInstr& instr, Typeref ty);
    Status check_float_arith(const NkInstr& instr, Typeref ty);
    Status check_compare(Typeref ty, const Operand& lhs, const Operand& rhs, Scalar kind);
    Status check_gep(const MGetElementPtr& gep);
    Status check_invoke(const Invoke& invoke);
    Status check_phi(const Phi& phi);
    Status check_select(const Select& select);
    Status check_cast(const Cast& cast);
    Status check_cast_variant(CastVariant variant, const Shape& s, const Shape& d);
    // Walks plain indices through structs, arrays and fixed vectors.
    Result<Typeref, Error> walk_aggregate(Typeref start, const std::vector<std::uint32_t>& indices);
    Status check_insert_value(const InsertValue& iv);
    Status check_extract_value(const ExtractValue& ev);
    Status check_meta(const NkInstr& instr);

    const Function& function_;
    TypeRegistry& registry_;
    RegisterTable<Typeref> env_;
    const NkInstr* current_instr_ = nullptr;
    const NkTerminator* current_term_ = nullptr;

    // Interned constant types, so that each distinct one costs one registry call.
    std::unordered_map<std::uint32_t, Typeref> int_types_;
    std::optional<Typeref> float_types_[kFTypeCount];
    std::optional<Typeref> ptr_type_;
    Typeref ptr();
};

}  // namespace nkinstr::checker
