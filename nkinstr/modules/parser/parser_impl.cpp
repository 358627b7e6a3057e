#include "nkinstr/modules/parser/parser_impl.hpp"

#include <algorithm>

namespace nkinstr::parser {

Parser::Parser(const TokenList& tokens, State& state)
    : list_(tokens), toks_(tokens.tokens.data()), n_(tokens.size()), state_(state) {
    expected_.reserve(16);
    operands_.reserve(16);
}

void Parser::note_at(std::size_t p, Expected e) {
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
    if (!ok) out.errors.push_back(syntax_error());
    return out;
}

ParseOutcome parse_tokens(const TokenList& tokens, State& state) { return Parser(tokens, state).run(); }

}  // namespace nkinstr::parser
