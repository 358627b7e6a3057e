#pragma once
// Field order of the records that the encoding writes positionally. The
// encoder and the decoder both walk records through these visitors, so the
// two directions cannot disagree on the order.

#include <type_traits>

#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/instruction.hpp"
#include "nkinstr/modules/terminator.hpp"

namespace nkinstr::encoding_detail {

template <class R, class T>
inline constexpr bool is_record = std::is_same_v<std::remove_const_t<R>, T>;

// Calls f on each field of an instruction record, in declaration order.
template <class R, class F>
void for_each_instr_field(R& r, F&& f) {
    if constexpr (is_record<R, MLoad>) {
        f(r.dest), f(r.ty), f(r.addr), f(r.alignement), f(r.ordering), f(r.volatile_);
    } else if constexpr (is_record<R, MStore>) {
        f(r.addr), f(r.value), f(r.alignement), f(r.ordering), f(r.volatile_);
    } else if constexpr (is_record<R, MAlloca>) {
        f(r.dest), f(r.ty), f(r.count), f(r.alignement);
    } else if constexpr (is_record<R, MGetElementPtr>) {
        f(r.dest), f(r.ty), f(r.in_ty), f(r.base), f(r.indices);
    } else if constexpr (is_record<R, Invoke>) {
        f(r.function), f(r.args), f(r.dest), f(r.ty), f(r.cconv);
    } else if constexpr (is_record<R, Phi>) {
        f(r.dest), f(r.ty), f(r.values);
    } else if constexpr (is_record<R, Select>) {
        f(r.dest), f(r.condition), f(r.true_value), f(r.false_value), f(r.ty);
    } else if constexpr (is_record<R, Cast>) {
        f(r.dest), f(r.ty), f(r.value), f(r.variant);
    } else if constexpr (is_record<R, InsertValue>) {
        f(r.dest), f(r.ty), f(r.aggregate), f(r.value), f(r.indices);
    } else if constexpr (is_record<R, ExtractValue>) {
        f(r.dest), f(r.ty), f(r.aggregate), f(r.indices);
    } else if constexpr (is_record<R, MetaAssert> || is_record<R, MetaAssume>) {
        f(r.condition);
    } else if constexpr (is_record<R, MetaIsDef> || is_record<R, MetaProb>) {
        f(r.dest), f(r.ty), f(r.operand);
    } else if constexpr (is_record<R, MetaAnalysisStat>) {
        f(r.dest), f(r.ty), f(r.statistic);
    } else if constexpr (is_record<R, MetaForall>) {
        f(r.dest), f(r.ty);
    } else if constexpr (requires { r.lhs; r.variant; }) {  // IAdd, ISub, IMul, ICmp, ISht, FCmp
        f(r.dest), f(r.ty), f(r.lhs), f(r.rhs), f(r.variant);
    } else if constexpr (requires { r.lhs; r.signedness; }) {  // IDiv, IRem
        f(r.dest), f(r.ty), f(r.lhs), f(r.rhs), f(r.signedness);
    } else if constexpr (requires { r.lhs; }) {  // bitwise and floating-point binaries
        f(r.dest), f(r.ty), f(r.lhs), f(r.rhs);
    } else {  // INeg, INot, FNeg
        static_assert(requires { r.value; });
        f(r.dest), f(r.ty), f(r.value);
    }
}

}  // namespace nkinstr::encoding_detail
