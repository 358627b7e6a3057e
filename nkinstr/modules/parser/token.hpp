#pragma once
// Tokens of the IR assembly language.
//
// A token is a small trivially-copyable record: words and names are views
// into the source text (which outlives the token list), numbers up to 64 bits
// are held inline, and only the rare payloads that need owned storage (big
// integers, big decimals, strings with escapes) live in side tables of the
// TokenList.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nkinstr/consts/constants.hpp"
#include "nkinstr/modules/instruction.hpp"
#include "nkinstr/modules/symbols.hpp"
#include "nkinstr/modules/terminator.hpp"
#include "nkinstr/types/primary.hpp"

namespace nkinstr::parser {

// The token members without their data, in member order.
enum class TokenKind : std::uint8_t {
    IType, FType, Ordering, Visibility, CallingConvention, TerminatorOp, InstrOp, Void, Import,
    Identifier, MetaIdentifier, Register, Number, Decimal, StringLiteral,
    LParen, RParen, LBrace, RBrace, LBracket, RBracket, LAngle, RAngle, Comma, Colon, Equals, Newline
};
inline constexpr int kTokenKindCount = 27;

std::string_view token_kind_name(TokenKind k);  // "Identifier", ...

// Byte offsets into the source: start inclusive, end exclusive.
struct Span {
    std::size_t start = 0;
    std::size_t end = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

// 32 bytes: a million-instruction source has some ten million tokens.
struct Token {
    TokenKind kind = TokenKind::Newline;
    // FType, Ordering, Visibility, TerminatorOp, InstrOp: the enumeration value;
    // CallingConvention: its Kind.
    std::uint8_t code = 0;
    // Number / Decimal / StringLiteral: the payload lives in the TokenList's
    // side table at index `value`.
    bool in_side_table = false;
    // IType: the width. CallingConvention: the number of a numbered
    // convention. Identifier / MetaIdentifier / InstrOp: the byte length of
    // the segment text that follows `text` in the source. Inline Decimal: the
    // scale (as int32).
    std::uint32_t aux = 0;
    // Identifier / MetaIdentifier: the head word (MetaIdentifier without the
    // mark); InstrOp: the mnemonic; Register: the name; StringLiteral: the raw
    // text between the quotes (the decoded text when it holds no escape).
    std::string_view text;
    // Number: the value when inline. Decimal: the unscaled value when inline.
    // Side-table payloads: the index.
    std::int64_t value = 0;

    // Same member and same data (side-table payloads compare by slot, so
    // compare tokens of one list).
    friend bool operator==(const Token&, const Token&) = default;

    bool is(TokenKind k) const { return kind == k; }
    std::uint32_t width() const { return aux; }
    // Identifier / MetaIdentifier / InstrOp: the segment words as written,
    // each with its leading full stop (".term.reach"); empty when there are
    // none. A lone "." is one empty segment.
    std::string_view segments() const { return std::string_view(text.data() + text.size(), aux); }
    bool has_segments() const { return aux != 0; }
    // The head and its segments: "a.b.c" (contiguous in the source).
    std::string_view dotted() const { return std::string_view(text.data(), text.size() + aux); }
    // An Identifier with this head and no segments (the fixed words ptr, x, undef...).
    bool is_word(std::string_view word) const {
        return kind == TokenKind::Identifier && aux == 0 && text == word;
    }
    FType ftype() const { return static_cast<FType>(code); }
    MemoryOrdering ordering() const { return static_cast<MemoryOrdering>(code); }
    nkinstr::Visibility visibility() const { return static_cast<nkinstr::Visibility>(code); }
    NkTerminatorOp terminator_op() const { return static_cast<NkTerminatorOp>(code); }
    NkInstrOp instr_op() const { return static_cast<NkInstrOp>(code); }
    nkinstr::CallingConvention calling_convention() const {
        return {static_cast<nkinstr::CallingConvention::Kind>(code), aux};
    }
};
static_assert(sizeof(Token) == 32);

// Calls f(word) for each segment word of a dotted token, in order.
template <class F>
void for_each_segment(std::string_view segments, F&& f) {
    while (!segments.empty()) {
        segments.remove_prefix(1);  // the full stop
        const std::size_t dot = segments.find('.');
        f(segments.substr(0, dot));
        if (dot == std::string_view::npos) break;
        segments.remove_prefix(dot);
    }
}
std::size_t segment_count(std::string_view segments);

// The n-th segment word (from 0), or empty when there are fewer.
inline std::string_view nth_word(std::string_view segments, std::size_t n) {
    std::string_view out;
    std::size_t i = 0;
    for_each_segment(segments, [&](std::string_view w) {
        if (i++ == n) out = w;
    });
    return out;
}
std::vector<std::string_view> split_segments(std::string_view segments);

// The lexer's output: tokens, where each starts, and the owned payloads.
// Spans are contiguous (each includes the spacing around its token), so one
// start offset per token is enough.
struct TokenList {
    std::vector<Token> tokens;
    std::vector<std::size_t> starts;
    std::size_t end = 0;  // end of the last token's span
    std::vector<BigInt> big_numbers;
    std::vector<nkinstr::Decimal> big_decimals;
    std::vector<std::string> strings;

    std::size_t size() const { return tokens.size(); }
    bool empty() const { return tokens.empty(); }
    Span span(std::size_t i) const { return Span{starts[i], i + 1 < starts.size() ? starts[i + 1] : end}; }

    // Number tokens: the value, exact.
    BigInt number(const Token& t) const;
    // Number tokens: the value when it fits in int64.
    bool small_number(const Token& t, std::int64_t& out) const {
        if (t.in_side_table) return false;
        out = t.value;
        return true;
    }
    nkinstr::Decimal decimal(const Token& t) const;
    std::string_view string(const Token& t) const {
        return t.in_side_table ? std::string_view(strings[static_cast<std::size_t>(t.value)]) : t.text;
    }
};

// The display of a token as error messages quote it: i32, ICmp<["eq"]>, %a, \n, ...
void append_display(std::string& out, const Token& t, const TokenList& list);
std::string token_display(const Token& t, const TokenList& list);
// The debug text carried by parser errors: Kind or Kind(payload).
std::string token_debug(const Token& t, const TokenList& list);

}  // namespace nkinstr::parser
