// The instruction action: numbers the destination, checks the gathered pieces
// against the op (see check_shape) and builds the record. Complaints are
// recorded with the instruction's token range and parsing goes on; after an
// error that makes the pieces unusable a placeholder instruction is returned
// (the whole call fails anyway).

#include <fmt/format.h>

#include "nkinstr/modules/parser/parser_impl.hpp"

namespace nkinstr::parser {

namespace {

template <class E>
std::string all_texts() {
    std::string out;
    for (std::size_t i = 0; i < enum_count<E>(); ++i) {
        if (i) out += ", ";
        out += EnumTexts<E>::texts[i];
    }
    return out;
}

template <class R>
R binary(Name dest, Typeref ty, std::vector<Operand>& ops) {
    R r;
    r.dest = dest;
    r.ty = ty;
    r.lhs = std::move(ops[0]);
    r.rhs = std::move(ops[1]);
    return r;
}

template <class R>
R unary(Name dest, Typeref ty, std::vector<Operand>& ops) {
    return R{dest, ty, std::move(ops[0])};
}

template <class R, class V>
R binary_with(Name dest, Typeref ty, std::vector<Operand>& ops, V variant) {
    return R{dest, ty, std::move(ops[0]), std::move(ops[1]), variant};
}

}  // namespace

NkInstr Parser::build_instruction(InstrPieces& p) {
    // The destination is numbered after the operands of its own line.
    const Name dest{p.dest_name ? state_.get_register(*p.dest_name) : 0};
    if (!check_shape(p)) return NkInstr{};

    const Typeref ty = p.dest_ty;
    const std::string_view first = nth_word(p.variants, 0);
    auto variant = [&]<class E>(std::string_view what, E fallback) -> E {
        if (auto v = parse_enum<E>(first)) return *v;
        record_instr(p, fmt::format("unknown {}: {} (expected one of: {})", what, first, all_texts<E>()));
        return fallback;
    };
    auto& ops = operands_;
    auto take_rest = [&](std::size_t from) {
        return std::vector<Operand>(std::make_move_iterator(ops.begin() + static_cast<std::ptrdiff_t>(from)),
                                    std::make_move_iterator(ops.end()));
    };
    auto u32_indices = [&](std::size_t from) {
        std::vector<std::uint32_t> out;
        out.reserve(ops.size() - from);
        for (std::size_t i = from; i < ops.size(); ++i) {
            const std::size_t k = i - from;
            const AnyConst* c = as_imm(ops[i]);
            const IConst* ic = c ? std::get_if<IConst>(c) : nullptr;
            if (!ic) {
                record_instr(p, fmt::format("index {} must be an integer immediate", k));
            } else if (ic->value < 0) {
                record_instr(p, fmt::format("index {} must be non-negative", k));
            } else if (ic->value > BigInt(0xFFFFFFFFu)) {
                record_instr(p, fmt::format("index {} is too large to fit in u32", k));
            } else {
                out.push_back(ic->value.convert_to<std::uint32_t>());
                continue;
            }
            out.push_back(0);
        }
        return out;
    };
    const std::string_view name = opname(p.op);

    switch (p.op) {
        case NkInstrOp::IAdd:
            return binary_with<IAdd>(dest, ty, ops, variant("overflow signedness policy", OverflowSignednessPolicy::Wrap));
        case NkInstrOp::ISub:
            return binary_with<ISub>(dest, ty, ops, variant("overflow signedness policy", OverflowSignednessPolicy::Wrap));
        case NkInstrOp::IMul:
            return binary_with<IMul>(dest, ty, ops, variant("overflow signedness policy", OverflowSignednessPolicy::Wrap));
        case NkInstrOp::IDiv:
            return binary_with<IDiv>(dest, ty, ops, variant("signedness variant", IntegerSignedness::Signed));
        case NkInstrOp::IRem:
            return binary_with<IRem>(dest, ty, ops, variant("signedness variant", IntegerSignedness::Signed));
        case NkInstrOp::ICmp:
            return binary_with<ICmp>(dest, ty, ops, variant("integer comparison variant", ICmpVariant::Eq));
        case NkInstrOp::ISht:
            return binary_with<ISht>(dest, ty, ops, variant("integer isht variant", IShiftVariant::Lsl));
        case NkInstrOp::INeg: return unary<INeg>(dest, ty, ops);
        case NkInstrOp::INot: return unary<INot>(dest, ty, ops);
        case NkInstrOp::IAnd: return binary<IAnd>(dest, ty, ops);
        case NkInstrOp::IOr: return binary<IOr>(dest, ty, ops);
        case NkInstrOp::IXor: return binary<IXor>(dest, ty, ops);
        case NkInstrOp::IImplies: return binary<IImplies>(dest, ty, ops);
        case NkInstrOp::IEquiv: return binary<IEquiv>(dest, ty, ops);
        case NkInstrOp::FAdd: return binary<FAdd>(dest, ty, ops);
        case NkInstrOp::FSub: return binary<FSub>(dest, ty, ops);
        case NkInstrOp::FMul: return binary<FMul>(dest, ty, ops);
        case NkInstrOp::FDiv: return binary<FDiv>(dest, ty, ops);
        case NkInstrOp::FRem: return binary<FRem>(dest, ty, ops);
        case NkInstrOp::FCmp:
            return binary_with<FCmp>(dest, ty, ops, variant("floating-point comparison variant", FCmpVariant::Oeq));
        case NkInstrOp::FNeg: return unary<FNeg>(dest, ty, ops);
        case NkInstrOp::MLoad: {
            MLoad r{dest, ty, std::move(ops[0]), p.align, std::nullopt, p.is_volatile};
            if (!p.variants.empty()) r.ordering = variant("memory ordering variant", MemoryOrdering::Unordered);
            return r;
        }
        case NkInstrOp::MStore: {
            MStore r{std::move(ops[0]), std::move(ops[1]), p.align, std::nullopt, p.is_volatile};
            if (!p.variants.empty()) r.ordering = variant("memory ordering variant", MemoryOrdering::Unordered);
            return r;
        }
        case NkInstrOp::MAlloca: return MAlloca{dest, ty, std::move(ops[0]), p.align};
        case NkInstrOp::MGetElementPtr: {
            if (ops.empty()) {
                record_instr(p, fmt::format("arity mismatch for {} instruction: expected at least 1 operand for "
                                            "indices, got 0",
                                            name));
                return NkInstr{};
            }
            return MGetElementPtr{dest, ty, *p.extra_type, std::move(ops[0]), take_rest(1)};
        }
        case NkInstrOp::Invoke: {
            if (ops.empty()) {
                record_instr(p, fmt::format("arity mismatch for {} instruction: expected at least 1 operand "
                                            "(function pointer), got {}",
                                            name, ops.size()));
                return NkInstr{};
            }
            Invoke r{std::move(ops[0]), take_rest(1), std::nullopt, std::nullopt, std::nullopt};
            if (p.dest_name) {
                r.dest = dest;
                r.ty = ty;
            }
            return r;
        }
        case NkInstrOp::Phi: return Phi{dest, ty, std::move(p.pairs)};
        case NkInstrOp::Select:
            return Select{dest, std::move(ops[0]), std::move(ops[1]), std::move(ops[2]), ty};
        case NkInstrOp::Cast: return Cast{dest, ty, std::move(ops[0]), variant("cast variant", CastVariant::Trunc)};
        case NkInstrOp::InsertValue: {
            if (ops.size() < 3) {
                record_instr(p, fmt::format("arity mismatch for {} instruction: expected aggregate, value, and at "
                                            "least one index, got {}",
                                            name, ops.size()));
                return NkInstr{};
            }
            auto indices = u32_indices(2);
            return InsertValue{dest, ty, std::move(ops[0]), std::move(ops[1]), std::move(indices)};
        }
        case NkInstrOp::ExtractValue: {
            if (ops.size() < 2) {
                record_instr(p, fmt::format("arity mismatch for {} instruction: expected aggregate and at least one "
                                            "index, got {}",
                                            name, ops.size()));
                return NkInstr{};
            }
            auto indices = u32_indices(1);
            return ExtractValue{dest, ty, std::move(ops[0]), std::move(indices)};
        }
        case NkInstrOp::MetaAssert: return MetaAssert{std::move(ops[0])};
        case NkInstrOp::MetaAssume: return MetaAssume{std::move(ops[0])};
        case NkInstrOp::MetaIsDef: return MetaIsDef{dest, ty, std::move(ops[0])};
        case NkInstrOp::MetaProb: {
            const auto which = variant("meta-probability variant", MetaProbVariant::Probability);
            if (ops.size() != 1) {
                record_instr(p, fmt::format("arity mismatch for meta-probability variant {}: expected {} operands, "
                                            "got {}",
                                            first, 1, ops.size()));
                return NkInstr{};
            }
            return MetaProb{dest, ty, MetaProbArg{which, std::move(ops[0])}};
        }
        case NkInstrOp::MetaAnalysisStat: return build_analysis(p, dest);
        case NkInstrOp::MetaForall: return MetaForall{dest, ty};
    }
    return NkInstr{};
}

NkInstr Parser::build_analysis(InstrPieces& p, Name dest) {
    const std::string_view first = nth_word(p.variants, 0);
    auto& ops = operands_;
    const auto stat = parse_enum<AnalysisStatisticOp>(first);
    if (!stat) {
        record_instr(p, fmt::format("unknown analysis statistic op: {} (expected one of: {})", first,
                                    all_texts<AnalysisStatisticOp>()));
        return MetaAnalysisStat{dest, p.dest_ty, ExecutionCount{}};
    }
    switch (*stat) {
        case AnalysisStatisticOp::InstructionCount: {
            if (ops.size() != 1) {
                record_instr(p, fmt::format("arity mismatch for !analysis.icnt: expected 1 operand, got {}", ops.size()));
                return NkInstr{};
            }
            const AnyConst* c = as_imm(ops[0]);
            const IConst* ic = c ? std::get_if<IConst>(c) : nullptr;
            if (!ic) {
                record_instr(p, "type error for !analysis.icnt: expected integer immediate operand");
                return NkInstr{};
            }
            const BigInt::Wide magnitude = abs(ic->value.to_wide());
            const auto low = static_cast<std::uint32_t>((magnitude & 0xFFFFFFFFu).convert_to<std::uint64_t>());
            return MetaAnalysisStat{dest, p.dest_ty, InstructionCount{InstructionFlags{low & InstructionFlags::ALL_NAMED}}};
        }
        case AnalysisStatisticOp::ExecutionCount:
            if (!ops.empty()) {
                record_instr(p, fmt::format("arity mismatch for !analysis.excnt: expected 0 operands, got {}", ops.size()));
                return NkInstr{};
            }
            return MetaAnalysisStat{dest, p.dest_ty, ExecutionCount{}};
        case AnalysisStatisticOp::TerminationBehavior: {
            if (!ops.empty()) {
                record_instr(p, fmt::format("arity mismatch for !analysis.term: expected 0 operands, got {}", ops.size()));
                return NkInstr{};
            }
            const std::string_view scope = nth_word(p.variants, 1);
            TerminationScope result;
            if (scope == "blockexit") {
                result = BlockExit{};
            } else if (scope == "funcexit") {
                result = FunctionExit{};
            } else if (scope == "reach") {
                if (p.labels.empty()) {
                    record_instr(p, "syntax error for !analysis.term.reach: expected at least 1 label");
                    return NkInstr{};
                }
                result = ReachAny{std::move(p.labels)};
            } else {
                record_instr(p, fmt::format("unknown termination scope variant: {} (expected one of: blockexit, "
                                            "funcexit, reach)",
                                            scope));
                return NkInstr{};
            }
            return MetaAnalysisStat{dest, p.dest_ty, TerminationBehavior{std::move(result)}};
        }
    }
    return NkInstr{};
}

}  // namespace nkinstr::parser
