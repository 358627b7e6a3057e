#pragma once
// The grammar over a token list: module items, functions, blocks,
// instructions, types and constants.

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/parser/state.hpp"
#include "nkinstr/modules/parser/token.hpp"

namespace nkinstr::parser {

struct ImportItem {
    std::string path;
};
// One top-level production, in source order.
using Item = std::variant<ImportItem, Function>;

// An error of the grammar: the tokens [first, last) it concerns and its text.
// A syntax error at the end of the token list has first == the token count.
struct GrammarError {
    std::size_t first = 0;
    std::size_t last = 0;
    std::string message;
};

struct ParseOutcome {
    std::vector<Item> items;
    // Errors recorded by validating actions, in the order they were recorded,
    // then the syntax error that stopped the parse, if any.
    std::vector<GrammarError> errors;
};

// Parses a whole token list as a module (every token must be consumed).
ParseOutcome parse_tokens(const TokenList& tokens, State& state);

}  // namespace nkinstr::parser
