#pragma once
// NkInstr: the closed set of non-terminating instructions, and the uniform
// Instruction interface (destination, destination type, operands, referenced
// types, type remapping) that validation, printing and encoding work through.

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "nkinstr/modules/instructions/records.hpp"
#include "nkinstr/types/registry.hpp"

namespace nkinstr {

// Index = encoding tag; same order as the alternatives of NkInstr::Variant.
enum class NkInstrOp : std::uint8_t {
    IAdd, ISub, IMul, IDiv, IRem, ICmp, ISht, INeg, IAnd, IOr, IXor, INot, IImplies, IEquiv,
    FAdd, FSub, FMul, FDiv, FRem, FCmp, FNeg,
    MLoad, MStore, MAlloca, MGetElementPtr,
    Invoke, Phi, Select, Cast, InsertValue, ExtractValue,
    MetaAssert, MetaAssume, MetaIsDef, MetaProb, MetaAnalysisStat, MetaForall
};
inline constexpr int kInstrOpCount = 37;

std::string_view opname(NkInstrOp op);        // mnemonic: "iadd", ..., "!forall"
std::string_view op_debug_name(NkInstrOp op);  // variant name: "IAdd", ...
// Exactly the 37 mnemonics; anything else is refused.
std::optional<NkInstrOp> parse_instr_op(std::string_view text);
inline bool is_meta_op(NkInstrOp op) { return op >= NkInstrOp::MetaAssert; }

struct NkInstr {
    using Variant = std::variant<IAdd, ISub, IMul, IDiv, IRem, ICmp, ISht, INeg, IAnd, IOr, IXor, INot,
                                 IImplies, IEquiv, FAdd, FSub, FMul, FDiv, FRem, FCmp, FNeg, MLoad, MStore,
                                 MAlloca, MGetElementPtr, Invoke, Phi, Select, Cast, InsertValue, ExtractValue,
                                 MetaAssert, MetaAssume, MetaIsDef, MetaProb, MetaAnalysisStat, MetaForall>;
    Variant v;

    template <class R, class = std::enable_if_t<!std::is_same_v<std::decay_t<R>, NkInstr>>>
    NkInstr(R&& record) : v(std::forward<R>(record)) {}
    NkInstr() = default;

    NkInstrOp op() const { return static_cast<NkInstrOp>(v.index()); }
    bool is_meta() const { return is_meta_op(op()); }
    bool is_phi() const { return op() == NkInstrOp::Phi; }
    template <class R>
    const R* get_if() const { return std::get_if<R>(&v); }
    template <class R>
    R* get_if() { return std::get_if<R>(&v); }

    std::optional<Name> destination() const;
    std::optional<Typeref> destination_type() const;
    // Mutable access to the destination register, if any (for renumbering).
    Name* destination_mut();

    // Operands in interface order: Operand fields in declaration order, list
    // fields expanded in place; phi values in pair order; the !prob operand.
    template <class F>
    void for_each_operand(F&& f) const { visit_operands(*this, f); }
    template <class F>
    void for_each_operand_mut(F&& f) { visit_operands(*this, f); }
    std::size_t operand_count() const;

    // `ty` where present (for invoke when present), then `in_ty` for getelementptr.
    template <class F>
    void for_each_referenced_type(F&& f) const { visit_types(*this, f); }
    template <class F>
    void for_each_referenced_type_mut(F&& f) { visit_types(*this, f); }

    // Rewrites every referenced type through the map (references not in it stay).
    void remap_types(const TypeMap& map);

    friend bool operator==(const NkInstr&, const NkInstr&) = default;

private:
    template <class Self, class F>
    static void visit_operands(Self& self, F& f);
    template <class Self, class F>
    static void visit_types(Self& self, F& f);
};

template <class Self, class F>
void NkInstr::visit_operands(Self& self, F& f) {
    std::visit(
        [&](auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (requires { r.lhs; r.rhs; }) {
                f(r.lhs);
                f(r.rhs);
            } else if constexpr (std::is_same_v<R, MStore>) {
                f(r.addr);
                f(r.value);
            } else if constexpr (std::is_same_v<R, MLoad>) {
                f(r.addr);
            } else if constexpr (std::is_same_v<R, MAlloca>) {
                f(r.count);
            } else if constexpr (std::is_same_v<R, MGetElementPtr>) {
                f(r.base);
                for (auto& i : r.indices) f(i);
            } else if constexpr (std::is_same_v<R, Invoke>) {
                f(r.function);
                for (auto& a : r.args) f(a);
            } else if constexpr (std::is_same_v<R, Phi>) {
                for (auto& p : r.values) f(p.first);
            } else if constexpr (std::is_same_v<R, Select>) {
                f(r.condition);
                f(r.true_value);
                f(r.false_value);
            } else if constexpr (std::is_same_v<R, InsertValue>) {
                f(r.aggregate);
                f(r.value);
            } else if constexpr (std::is_same_v<R, ExtractValue>) {
                f(r.aggregate);
            } else if constexpr (std::is_same_v<R, MetaAssert> || std::is_same_v<R, MetaAssume>) {
                f(r.condition);
            } else if constexpr (std::is_same_v<R, MetaIsDef>) {
                f(r.operand);
            } else if constexpr (std::is_same_v<R, MetaProb>) {
                f(r.operand.operand);
            } else if constexpr (std::is_same_v<R, MetaAnalysisStat> || std::is_same_v<R, MetaForall>) {
                // no operands
            } else {
                f(r.value);  // INeg, INot, FNeg, Cast
            }
        },
        self.v);
}

template <class Self, class F>
void NkInstr::visit_types(Self& self, F& f) {
    std::visit(
        [&](auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, Invoke>) {
                if (r.ty) f(*r.ty);
            } else if constexpr (requires { r.ty; }) {
                f(r.ty);
                if constexpr (std::is_same_v<R, MGetElementPtr>) f(r.in_ty);
            }
        },
        self.v);
}

}  // namespace nkinstr
