#pragma once
// Found/expected syntax errors, shared by the lexer and the grammar:
// "found 'x' expected A, B, or C".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nkinstr::parser {

// One thing a parser was ready to accept at the failing position: a token or
// character shown between single quotes ('ptr', ','), or a label shown as is
// (type, operand list, token Identifier, end of input). Texts are static.
struct Expected {
    std::string_view text;
    bool quoted = false;

    static Expected token(std::string_view display) { return {display, true}; }
    static Expected label(std::string_view name) { return {name, false}; }
    friend bool operator==(const Expected&, const Expected&) = default;
};

inline constexpr std::string_view kEndOfInput = "end of input";

// `found` is the offending token's display (quoted here) or, when absent, the
// end of input. Items keep their order; none reads "something else"; two read
// "A, or B".
std::string found_expected_message(const std::optional<std::string>& found, const std::vector<Expected>& expected);

}  // namespace nkinstr::parser
