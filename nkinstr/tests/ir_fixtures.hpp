#pragma once
// Small builders for functions, blocks, operands and types used by the
// validation tests.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "nkinstr/modules/function.hpp"
#include "nkinstr/types/registry.hpp"

namespace nkinstr::testing {

inline Name r(std::uint32_t id) { return Name{id}; }
inline Label l(std::uint32_t id) { return Label{id}; }
inline Operand reg(std::uint32_t id) { return Name{id}; }
inline Operand int_imm(std::uint32_t bits, long long value) { return AnyConst{IConst{IType{bits}, BigInt(value)}}; }
inline Operand float_imm(FType t) { return AnyConst{FConst{t, Decimal{BigInt(15), 1}}}; }
inline Operand func_ptr(Uuid uuid, bool external = false) {
    return AnyConst{FunctionPointer{external ? FunctionPointer::Kind::External : FunctionPointer::Kind::Internal, uuid}};
}
inline Operand undef(Typeref t) { return Undef{t}; }

inline BasicBlock block(std::uint32_t label, std::vector<NkInstr> instrs, NkTerminator term = Ret{}) {
    return BasicBlock{Label{label}, std::move(instrs), std::move(term)};
}

// A named function with the given parameters and blocks (keyed by their labels).
inline Function function(std::vector<std::pair<Name, Typeref>> params, std::vector<BasicBlock> blocks,
                         std::string name = "f") {
    Function f = Function::make_default();
    f.name = std::move(name);
    f.params = std::move(params);
    f.body.clear();
    for (auto& b : blocks) {
        const Label label = b.label;
        f.body.insert_or_assign(label, std::move(b));
    }
    return f;
}

// The types the tests use, interned once per registry.
struct Types {
    explicit Types(TypeRegistry& reg) : reg(reg) {}
    TypeRegistry& reg;
    Typeref i(std::uint32_t bits) { return reg.intern(IType{bits}); }
    Typeref fp(FType t) { return reg.intern(t); }
    Typeref ptr() { return reg.intern(PtrType{}); }
    Typeref vec(PrimaryBasicType element, std::uint16_t lanes, bool scalable = false) {
        return reg.intern(VectorType{std::move(element),
                                     VcSize{scalable ? VcSize::Kind::Scalable : VcSize::Kind::Fixed, lanes}});
    }
    Typeref array(Typeref element, std::uint16_t n) { return reg.search_or_insert(ArrayType{element, n}); }
    Typeref strct(std::vector<Typeref> fields, bool packed = false) {
        return reg.search_or_insert(StructType{std::move(fields), packed});
    }
};

}  // namespace nkinstr::testing
