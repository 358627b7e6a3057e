#pragma once
// The fixed keywords of the assembly language and their token members.

#include <cstdint>
#include <string_view>

#include "nkinstr/modules/parser/token.hpp"

namespace nkinstr::parser {

struct Keyword {
    TokenKind kind;
    std::uint8_t code;  // the enumeration value of the member's payload
};

// The keyword spelled exactly `word` (import, void, visibilities, the fixed
// calling conventions, instruction names including the meta ones with their
// '!', terminators, floating-point types, memory orderings), or null. The
// word sets are disjoint, so one lookup serves every classification order.
const Keyword* find_keyword(std::string_view word);

}  // namespace nkinstr::parser
