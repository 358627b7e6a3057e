#include "nkinstr/modules/parser/parser_impl.hpp"

#include <algorithm>

namespace nkinstr::parser {

Parser::Parser(const TokenList& tokens, State& state, bool track_expected)
    : list_(tokens), toks_(tokens.tokens.data()), n_(tokens.size()), state_(state), track_expected_(track_expected) {
    expected_.reserve(16);
    operands_.reserve(16);
}

void Parser::note_tracked(std::size_t p, Expected e) {
    if (failed_ && p < furthest_) return;
    if (p == label_pos_) e = Expected::label(label_);
    if (!failed_ || p > furthest_) {
        failed_ = true;
        furthest_ = p;
        expected_.clear();
    }
    if (std::find(expected_.begin(), expected_.end(), e) == expected_.end()) expected_.push_back(e);
}

bool Parser::eat(TokenKind k, std::string_view display) {
    if (at(k)) {
        ++pos_;
        return true;
    }
    note(Expected::token(display));
    return false;
}

const Token* Parser::eat_class(TokenKind k) {
    if (at(k)) return &toks_[pos_++];
    // "token " + the member's name; the texts are static.
    static const auto labels = [] {
        std::vector<std::string> v;
        for (int i = 0; i < kTokenKindCount; ++i)
            v.push_back("token " + std::string(token_kind_name(static_cast<TokenKind>(i))));
        return v;
    }();
    note(Expected::label(labels[static_cast<int>(k)]));
    return nullptr;
}

bool Parser::eat_word(std::string_view word) {
    if (at_word(word)) {
        ++pos_;
        return true;
    }
    note(Expected::token(word));
    return false;
}

GrammarError Parser::syntax_error() const {
    const std::size_t p = failed_ ? furthest_ : pos_;
    std::optional<std::string> found;
    if (p < n_) found = token_display(toks_[p], list_);
    std::vector<Expected> expected = expected_;
    if (!failed_) expected.push_back(Expected::label(kEndOfInput));
    return GrammarError{p, p + 1, found_expected_message(found, expected)};
}

ParseOutcome Parser::run() {
    ParseOutcome out;
    const bool ok = parse_module(out.items);
    out.errors = std::move(errors_);
    if (!ok) {
        out.syntax_failure = true;
        out.errors.push_back(syntax_error());
    }
    return out;
}

// Noting what each failed match expected costs a good part of the parse, and
// only a failing parse needs it. So the first pass notes nothing; when it
// fails, the same tokens are parsed again from a clean numbering with noting
// on, which reaches the same failure (the grammar is deterministic) and can
// describe it. Interning and resolving are idempotent, so the repeat is
// harmless.
ParseOutcome parse_tokens(const TokenList& tokens, State& state) {
    ParseOutcome fast = Parser(tokens, state, false).run();
    if (fast.errors.empty() || !fast.syntax_failure) return fast;
    state.clear();
    return Parser(tokens, state, true).run();
}

}  // namespace nkinstr::parser
