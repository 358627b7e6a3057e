#pragma once
// The hand-written lexer of the IR assembly language.

#include <string>
#include <string_view>
#include <vector>

#include "nkinstr/modules/parser/token.hpp"

namespace nkinstr::parser {

// An error found while lexing: a found/expected syntax error (which ends the
// token list) or a recorded error of word classification or literal reading
// (which does not). The span is the offending text's byte range.
struct LexError {
    Span span;
    std::string message;
    friend bool operator==(const LexError&, const LexError&) = default;
};

struct LexResult {
    TokenList tokens;
    std::vector<LexError> errors;  // recorded errors in source order, then the syntax error if any
};

// Lexes the whole of `source`. The tokens' text views point into `source`.
LexResult lex(std::string_view source);

// Character classes, exposed for tests.
// White space other than line feed (the Unicode White_Space property).
bool is_spacing_char(char32_t c);
// Identifier-continue characters: ASCII letters, digits and '_', plus an
// approximation of the non-ASCII part of XID_Continue (see lexer.cpp).
bool is_ident_continue(char32_t c);

}  // namespace nkinstr::parser
