// Type rules of calls, phi, select and the meta-instructions.

#include "nkinstr/types/checker/checker.hpp"

namespace nkinstr::checker {

Status Checker::check_invoke(const Invoke& invoke) {
    // Arguments and the result are not compared with the callee's signature.
    auto t = operand_type(invoke.function);
    if (!t) return fail(std::move(t).error());
    const Typeref p = ptr();
    if (!same(*t, p)) return fail(mismatch(p, *t));
    return {};
}

Status Checker::check_phi(const Phi& phi) {
    for (const auto& [value, label] : phi.values) NK_TRY(expect_type(value, phi.ty));
    return {};
}

Status Checker::check_select(const Select& select) {
    NK_TRY(expect_i1(select.condition));  // a vector condition is rejected
    NK_TRY(expect_type(select.true_value, select.ty));
    return expect_type(select.false_value, select.ty);
}

Status Checker::check_meta(const NkInstr& instr) {
    if (const auto* a = instr.get_if<MetaAssert>()) return expect_i1(a->condition);
    if (const auto* a = instr.get_if<MetaAssume>()) return expect_i1(a->condition);
    if (const auto* d = instr.get_if<MetaIsDef>()) {
        if (!shape(d->ty).is_i1()) return fail(mismatch("i1", d->ty));
        return {};
    }
    if (const auto* p = instr.get_if<MetaProb>()) {
        if (!shape(p->ty).scalar_float()) return fail(mismatch("fp", p->ty));
        auto t = operand_type(p->operand.operand);
        if (!t) return fail(std::move(t).error());
        const Shape s = shape(*t);
        if (!s.scalar_int() && !s.scalar_float()) return fail(mismatch("fp or iN", *t));
        return {};
    }
    if (const auto* a = instr.get_if<MetaAnalysisStat>()) {
        const Shape s = shape(a->ty);
        const bool wide_int = s.scalar == Scalar::Any || (s.scalar == Scalar::Int && s.bits >= 2);
        if (!s.wildcard && (s.vector || !wide_int)) return fail(mismatch("iN (N >= 2)", a->ty));
        return {};
    }
    return {};  // !forall: nothing to check
}

}  // namespace nkinstr::checker
