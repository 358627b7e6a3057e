#pragma once
// Registers, labels, constants and the operands instructions consume.

#include <compare>
#include <cstdint>
#include <variant>

#include "nkinstr/consts/constants.hpp"
#include "nkinstr/types/aggregate.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr {

class TypeRegistry;

// An SSA register, printed "%3".
struct Name {
    std::uint32_t id = 0;
    friend auto operator<=>(const Name&, const Name&) = default;
    friend bool operator==(const Name&, const Name&) = default;
};

// A basic-block label, printed "block_3"; label 0 is the entry block.
struct Label {
    std::uint32_t id = 0;
    friend auto operator<=>(const Label&, const Label&) = default;
    friend bool operator==(const Label&, const Label&) = default;
};

// A function named by identity: one of the module (Internal) or one it declares (External).
struct FunctionPointer {
    enum class Kind : std::uint8_t { Internal, External };
    Kind kind = Kind::Internal;
    Uuid uuid;
    bool is_external() const { return kind == Kind::External; }
    friend bool operator==(const FunctionPointer&, const FunctionPointer&) = default;
};

// Index = tag: Int, Float, FuncPtr.
using AnyConst = std::variant<IConst, FConst, FunctionPointer>;

// Interns and returns the constant's type: iN, the float format, or ptr.
Typeref const_typeref(const AnyConst& c, TypeRegistry& registry);

// An undefined value of the given type.
struct Undef {
    Typeref ty;
    friend bool operator==(const Undef&, const Undef&) = default;
};

// Index = tag: Reg, Imm, Undef.
using Operand = std::variant<Name, AnyConst, Undef>;

inline const Name* as_reg(const Operand& o) { return std::get_if<Name>(&o); }
inline Name* as_reg(Operand& o) { return std::get_if<Name>(&o); }
inline const AnyConst* as_imm(const Operand& o) { return std::get_if<AnyConst>(&o); }
inline AnyConst* as_imm(Operand& o) { return std::get_if<AnyConst>(&o); }
inline const Undef* as_undef(const Operand& o) { return std::get_if<Undef>(&o); }

}  // namespace nkinstr
