// Operands and instructions.
//
//   operand     := Register | type 'undef' | constant
//   instruction := [Register ':' type '='] InstrOp [type ','] operand-part
//                  [label (',' label)*] [',' 'align' Number] [',' 'volatile']
//   operand-part := '[' operand ',' label ']' (',' '[' operand ',' label ']')*
//                 | [operand (',' operand)*]
//
// The grammar gathers the pieces; the action then checks them against the
// mnemonic, records what is wrong, and builds the record.

#include <fmt/format.h>

#include "nkinstr/modules/parser/parser_impl.hpp"
#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr::parser {


namespace {

constexpr std::uint64_t kMaxAlign = 4294967295ull;

bool requires_variant(NkInstrOp op) {
    switch (op) {
        case NkInstrOp::IAdd: case NkInstrOp::ISub: case NkInstrOp::IMul: case NkInstrOp::IDiv:
        case NkInstrOp::IRem: case NkInstrOp::ICmp: case NkInstrOp::ISht: case NkInstrOp::FCmp:
        case NkInstrOp::Cast: case NkInstrOp::MetaProb: case NkInstrOp::MetaAnalysisStat:
            return true;
        default:
            return false;
    }
}

// Operand count of ops of fixed arity; -1 for ops that check their operands themselves.
int fixed_arity(NkInstrOp op) {
    switch (op) {
        case NkInstrOp::INeg: case NkInstrOp::INot: case NkInstrOp::FNeg: case NkInstrOp::MLoad:
        case NkInstrOp::MAlloca: case NkInstrOp::Cast: case NkInstrOp::MetaAssert: case NkInstrOp::MetaAssume:
        case NkInstrOp::MetaIsDef:
            return 1;
        case NkInstrOp::Select:
            return 3;
        case NkInstrOp::MetaForall:
            return 0;
        case NkInstrOp::MGetElementPtr: case NkInstrOp::Invoke: case NkInstrOp::Phi: case NkInstrOp::InsertValue:
        case NkInstrOp::ExtractValue: case NkInstrOp::MetaProb: case NkInstrOp::MetaAnalysisStat:
            return -1;
        default:
            return 2;
    }
}

bool takes_no_destination(NkInstrOp op) {
    return op == NkInstrOp::MStore || op == NkInstrOp::MetaAssert || op == NkInstrOp::MetaAssume;
}

// First variant word, or empty.
std::string_view first_word(std::string_view segments) {
    std::string_view first;
    bool seen = false;
    for_each_segment(segments, [&](std::string_view w) {
        if (!seen) first = w;
        seen = true;
    });
    return first;
}

}  // namespace

std::optional<Operand> Parser::parse_operand() {
    if (const Token* t = peek(); t && t->kind == TokenKind::Register) {
        ++pos_;
        return Operand{Name{state_.get_register(t->text)}};
    }
    note(Expected::label("register"));
    {
        LabelScope label(*this, "undef operand");
        const Checkpoint cp = mark();
        if (auto ty = parse_type()) {
            if (eat_word("undef")) return Operand{Undef{*ty}};
        }
        rewind(cp);
    }
    LabelScope label(*this, "immediate operand");
    if (auto c = parse_constant()) return Operand{std::move(*c)};
    return std::nullopt;
}

void Parser::record_instr(const InstrPieces& pieces, std::string message) {
    record(pieces.first, pieces.last, std::move(message));
}

bool Parser::parse_operand_part(InstrPieces& pieces) {
    // Phi pairs.
    {
        LabelScope label(*this, "phi operand list");
        while (true) {
            const Checkpoint cp = mark();
            if (!pieces.pairs.empty() && !eat(TokenKind::Comma, ",")) break;
            if (!eat(TokenKind::LBracket, "[")) {
                rewind(cp);
                break;
            }
            // A pair that does not complete ends the list where it started, so
            // an operand list that merely begins with "[" (an array-typed undef)
            // is still read by the alternative below.
            auto value = parse_operand();
            std::optional<Label> target;
            if (value && eat(TokenKind::Comma, ",")) target = parse_label();
            if (!target || !eat(TokenKind::RBracket, "]")) {
                rewind(cp);
                break;
            }
            pieces.pairs.emplace_back(std::move(*value), *target);
        }
        if (!pieces.pairs.empty()) {
            pieces.phi_form = true;
            return true;
        }
    }
    // Operand list.
    LabelScope label(*this, "operand list");
    while (true) {
        const Checkpoint cp = mark();
        if (!operands_.empty() && !eat(TokenKind::Comma, ",")) break;
        auto operand = parse_operand();
        if (!operand) {
            rewind(cp);
            break;
        }
        operands_.push_back(std::move(*operand));
    }
    return true;
}

void Parser::parse_clauses(InstrPieces& pieces) {
    // Label list (only !analysis.term.reach accepts one; the action checks).
    while (true) {
        const Checkpoint cp = mark();
        if (!pieces.labels.empty() && !eat(TokenKind::Comma, ",")) break;
        auto target = parse_label();
        if (!target) {
            rewind(cp);
            break;
        }
        pieces.labels.push_back(*target);
    }
    // Alignment.
    {
        const Checkpoint cp = mark();
        const Token* number = nullptr;
        if (eat(TokenKind::Comma, ",") && eat_word("align") && (number = eat_class(TokenKind::Number))) {
            std::int64_t v = 0;
            if (list_.small_number(*number, v) && v >= 1 && static_cast<std::uint64_t>(v) <= kMaxAlign) {
                pieces.align = static_cast<std::uint32_t>(v);
            } else {
                pieces.clause_errors.push_back(fmt::format("invalid alignment value: must be between 1 and {}, got {}",
                                                           kMaxAlign, list_.number(*number).str()));
                pieces.align = 1;
            }
        } else {
            rewind(cp);
        }
    }
    // Volatile.
    {
        const Checkpoint cp = mark();
        if (eat(TokenKind::Comma, ",") && eat_word("volatile")) pieces.is_volatile = true;
        else rewind(cp);
    }
}

bool Parser::parse_instruction(NkInstr& out) {
    InstrPieces pieces;
    pieces.first = pos_;
    operands_.clear();

    // Destination.
    if (const Token* reg = peek(); reg && reg->kind == TokenKind::Register) {
        const Checkpoint cp = mark();
        ++pos_;
        std::optional<Typeref> ty;
        if (eat(TokenKind::Colon, ":") && (ty = parse_type()) && eat(TokenKind::Equals, "=")) {
            pieces.dest_name = reg->text;
            pieces.dest_ty = *ty;
        } else {
            rewind(cp);
        }
    } else {
        eat_class(TokenKind::Register);
    }

    const Token* op = eat_class(TokenKind::InstrOp);
    if (!op) return false;
    pieces.op = op->instr_op();
    pieces.variants = op->segments();

    // Additional type: given up silently when no comma follows.
    {
        const Checkpoint cp = mark();
        auto ty = parse_type();
        if (ty && eat(TokenKind::Comma, ",")) pieces.extra_type = *ty;
        else rewind(cp);
    }

    if (!parse_operand_part(pieces)) return false;
    parse_clauses(pieces);
    pieces.last = pos_;
    for (auto& message : pieces.clause_errors) record_instr(pieces, std::move(message));
    out = build_instruction(pieces);
    return true;
}

// Steps 1-9 of the action: everything that decides whether the pieces make an
// instruction of this op at all. Returns false after recording an error that
// stops the action.
bool Parser::check_shape(InstrPieces& p) {
    const NkInstrOp op = p.op;
    const std::string_view name = opname(op);
    if ((op == NkInstrOp::MGetElementPtr) != p.extra_type.has_value()) {
        record_instr(p, fmt::format("syntax error for {} instruction: {} additional type", name,
                                    p.extra_type ? "unexpected" : "missing"));
        return false;
    }
    if (p.phi_form && op != NkInstrOp::Phi) {
        record_instr(p, fmt::format("syntax error for {} instruction: only 'phi' instructions can use the [operand, "
                                    "label] syntax, use operands separated by commas instead",
                                    name));
        return false;
    }
    if (takes_no_destination(op)) {
        if (p.dest_name) {
            record_instr(p, fmt::format("syntax error for {} instruction: destination register specified where none "
                                        "expected",
                                        name));
            return false;
        }
    } else if (!p.dest_name && op != NkInstrOp::Invoke) {
        record_instr(p, fmt::format("syntax error for {} instruction: missing destination register", name));
        return false;
    }
    if (op == NkInstrOp::Phi && !p.phi_form) {
        record_instr(p, "syntax error for phi instruction: expected [operand, label] pairs, got operands separated by "
                        "commas instead");
        return false;
    }
    const std::size_t variant_count = segment_count(p.variants);
    if (!p.labels.empty()) {
        const bool reach = op == NkInstrOp::MetaAnalysisStat && variant_count == 2 &&
                           first_word(p.variants) == "term" && nth_word(p.variants, 1) == "reach";
        if (!reach) {
            record_instr(p, fmt::format("syntax error for {} instruction: unexpected label list", name));
            return false;
        }
    }
    if (op == NkInstrOp::MLoad || op == NkInstrOp::MStore) {
        if (variant_count > 1) {
            record_instr(p, fmt::format("arity mismatch for {} instruction variant: expected at most 1 variant "
                                        "operand, got {}",
                                        name, variant_count));
            return false;
        }
    } else if (requires_variant(op) != (variant_count > 0)) {
        const bool required = requires_variant(op);
        record_instr(p, fmt::format("syntax error for {} instruction: expected {}, got {}", name,
                                    required ? "variant" : "no variant", required ? "no variant" : "variant"));
        return false;
    } else if (requires_variant(op)) {
        const std::size_t expected =
            op == NkInstrOp::MetaAnalysisStat && first_word(p.variants) == "term" ? 2 : 1;
        if (variant_count != expected) {
            record_instr(p, fmt::format("arity mismatch for {} instruction variant: expected {} variant operands, got {}",
                                        name, expected, variant_count));
            return false;
        }
    }
    if (const int arity = fixed_arity(op); arity >= 0 && !p.phi_form && operands_.size() != std::size_t(arity)) {
        record_instr(p, fmt::format("arity mismatch for {} instruction: expected {} operands, got {}", name, arity,
                                    operands_.size()));
        return false;
    }
    if (p.align && op != NkInstrOp::MLoad && op != NkInstrOp::MStore && op != NkInstrOp::MAlloca)
        record_instr(p, fmt::format("alignment specifier is only valid for load, store and alloca instructions, got {} "
                                    "instruction",
                                    name));
    if (p.is_volatile && op != NkInstrOp::MLoad && op != NkInstrOp::MStore)
        record_instr(p, fmt::format("volatile specifier is only valid for load and store instructions, got {} "
                                    "instruction",
                                    name));
    return true;
}

}  // namespace nkinstr::parser
