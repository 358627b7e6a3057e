#include "nkinstr/modules/parser/token.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/error.hpp"

namespace nkinstr::parser {

namespace {
constexpr std::string_view kKindNames[] = {
    "IType",    "FType",         "Ordering", "Visibility", "CallingConvention", "TerminatorOp", "InstrOp",
    "Void",     "Import",        "Identifier", "MetaIdentifier", "Register",    "Number",       "Decimal",
    "StringLiteral", "LParen",   "RParen",   "LBrace",     "RBrace",            "LBracket",     "RBracket",
    "LAngle",   "RAngle",        "Comma",    "Colon",      "Equals",            "Newline"};
static_assert(std::size(kKindNames) == kTokenKindCount);

constexpr char kPunctuation[] = "(){}[]<>,:=";

void append_dotted(std::string& out, const Token& t) {
    out += t.text;
    out += t.segments;
}

void append_segment_list(std::string& out, std::string_view segments) {
    out.push_back('[');
    bool first = true;
    for_each_segment(segments, [&](std::string_view word) {
        if (!first) out += ", ";
        first = false;
        append_debug_string(out, word);
    });
    out.push_back(']');
}
}  // namespace

std::string_view token_kind_name(TokenKind k) { return kKindNames[static_cast<int>(k)]; }

std::size_t segment_count(std::string_view segments) {
    std::size_t n = 0;
    for (char c : segments) n += c == '.';
    return n;
}

std::vector<std::string_view> split_segments(std::string_view segments) {
    std::vector<std::string_view> out;
    for_each_segment(segments, [&](std::string_view w) { out.push_back(w); });
    return out;
}

BigInt TokenList::number(const Token& t) const {
    return t.in_side_table ? big_numbers[static_cast<std::size_t>(t.value)] : BigInt(t.value);
}

nkinstr::Decimal TokenList::decimal(const Token& t) const {
    if (t.in_side_table) return big_decimals[static_cast<std::size_t>(t.value)];
    return nkinstr::Decimal{BigInt(t.value), t.scale};
}

void append_display(std::string& out, const Token& t, const TokenList& list) {
    switch (t.kind) {
        case TokenKind::IType: out += fmt::format("i{}", t.width); break;
        case TokenKind::FType: out += ftype_text(t.ftype()); break;
        case TokenKind::Ordering: out += enum_debug_name(t.ordering()); break;
        case TokenKind::Visibility: out += visibility_debug_name(t.visibility()); break;
        case TokenKind::CallingConvention: out += t.calling_convention().debug_name(); break;
        case TokenKind::TerminatorOp: out += terminator_debug_name(t.terminator_op()); break;
        case TokenKind::InstrOp:
            out += op_debug_name(t.instr_op());
            if (t.has_segments()) {
                out.push_back('<');
                append_segment_list(out, t.segments);
                out.push_back('>');
            }
            break;
        case TokenKind::Void: out += "void"; break;
        case TokenKind::Import: out += "import"; break;
        case TokenKind::Identifier: append_dotted(out, t); break;
        case TokenKind::MetaIdentifier:
            out.push_back('!');
            append_dotted(out, t);
            break;
        case TokenKind::Register:
            out.push_back('%');
            out += t.text;
            break;
        case TokenKind::Number: out += list.number(t).str(); break;
        case TokenKind::Decimal: append_text(out, list.decimal(t)); break;
        case TokenKind::StringLiteral: append_debug_string(out, list.string(t)); break;
        case TokenKind::Newline: out += "\\n"; break;
        default:
            out.push_back(kPunctuation[static_cast<int>(t.kind) - static_cast<int>(TokenKind::LParen)]);
            break;
    }
}

std::string token_display(const Token& t, const TokenList& list) {
    std::string out;
    append_display(out, t, list);
    return out;
}

std::string token_debug(const Token& t, const TokenList& list) {
    std::string out(token_kind_name(t.kind));
    switch (t.kind) {
        case TokenKind::Void:
        case TokenKind::Import:
        case TokenKind::Newline:
            return out;
        case TokenKind::Identifier:
        case TokenKind::MetaIdentifier:
            out.push_back('(');
            append_debug_string(out, t.text);
            out += ", ";
            append_segment_list(out, t.segments);
            out.push_back(')');
            return out;
        case TokenKind::InstrOp:
            out.push_back('(');
            out += op_debug_name(t.instr_op());
            out += ", ";
            append_segment_list(out, t.segments);
            out.push_back(')');
            return out;
        case TokenKind::Register:
            out.push_back('(');
            append_debug_string(out, t.text);
            out.push_back(')');
            return out;
        default:
            if (t.kind >= TokenKind::LParen) return out;
            out.push_back('(');
            append_display(out, t, list);
            out.push_back(')');
            return out;
    }
}

}  // namespace nkinstr::parser
