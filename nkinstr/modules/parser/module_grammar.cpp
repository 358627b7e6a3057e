// Modules, imports, functions, blocks, labels and terminators.
//
//   module    := ([\n] item [\n])* [\n] end
//   item      := 'import' StringLiteral | function
//   function  := 'define' (type | 'void') (Visibility | CallingConvention)*
//                (Identifier | MetaIdentifier) '(' [param (',' param)*] ')'
//                '{' [\n] block* '}'
//   param     := Register ':' type
//   block     := label ':' [\n] [instruction (\n instruction)*] [\n] terminator [\n]
//   terminator := 'branch' operand ',' label ',' label | 'trap' | 'jump' label
//               | 'ret' (operand | 'void')

#include <fmt/format.h>

#include "nkinstr/modules/parser/parser_impl.hpp"
#include "nkinstr/utils/log.hpp"

namespace nkinstr::parser {

namespace {
constexpr std::string_view kLogTarget = "nkinstr::modules::parser";
}

bool Parser::parse_module(std::vector<Item>& items) {
    while (true) {
        const Checkpoint cp = mark();
        skip_newline();
        if (!parse_item(items)) {
            rewind(cp);
            break;
        }
        skip_newline();
    }
    // A source of only blank lines is a single line-end token: accept it.
    skip_newline();
    if (pos_ == n_) return true;
    note(Expected::label(kEndOfInput));
    return false;
}

bool Parser::parse_item(std::vector<Item>& items) {
    const Checkpoint cp = mark();
    if (parse_import(items)) return true;
    rewind(cp);
    return parse_function(items);
}

bool Parser::parse_import(std::vector<Item>& items) {
    LabelScope label(*this, "import statement");
    if (!eat_class(TokenKind::Import)) return false;
    const Token* path = eat_class(TokenKind::StringLiteral);
    if (!path) return false;
    items.emplace_back(ImportItem{std::string(list_.string(*path))});
    return true;
}

bool Parser::parse_attributes(std::optional<Visibility>& visibility, std::optional<CallingConvention>& cconv) {
    const std::size_t first = pos_;
    std::size_t duplicate_visibility = 0, duplicate_cconv = 0;
    while (const Token* t = peek()) {
        if (t->kind == TokenKind::Visibility) {
            duplicate_visibility += visibility.has_value();
            visibility = t->visibility();
        } else if (t->kind == TokenKind::CallingConvention) {
            duplicate_cconv += cconv.has_value();
            cconv = t->calling_convention();
        } else {
            break;
        }
        ++pos_;
    }
    eat_class(TokenKind::Visibility);  // notes what else could have followed
    eat_class(TokenKind::CallingConvention);
    for (std::size_t i = 0; i < duplicate_visibility; ++i) record(first, pos_, "duplicate visibility metadata");
    for (std::size_t i = 0; i < duplicate_cconv; ++i) record(first, pos_, "duplicate calling convention metadata");
    return true;
}

bool Parser::parse_parameters(std::vector<std::pair<Name, Typeref>>& params) {
    if (!eat(TokenKind::LParen, "(")) return false;
    while (true) {
        const Checkpoint cp = mark();
        if (!params.empty() && !eat(TokenKind::Comma, ",")) break;
        const Token* reg = peek();
        if (!reg || reg->kind != TokenKind::Register) {
            note(Expected::label("register"));
            rewind(cp);
            break;
        }
        ++pos_;
        const Name name{state_.get_register(reg->text)};
        if (!eat(TokenKind::Colon, ":")) return false;
        const auto ty = parse_type();
        if (!ty) return false;
        params.emplace_back(name, *ty);
    }
    return eat(TokenKind::RParen, ")");
}

bool Parser::parse_function(std::vector<Item>& items) {
    LabelScope label(*this, "function definition");
    if (!eat_word("define")) return false;
    Function f;
    if (auto ty = parse_type()) f.return_type = *ty;
    else if (!eat(TokenKind::Void, "void")) return false;

    parse_attributes(f.visibility, f.cconv);

    const Token* name = peek();
    if (name && (name->kind == TokenKind::Identifier || name->kind == TokenKind::MetaIdentifier)) {
        ++pos_;
    } else {
        eat_class(TokenKind::Identifier);
        eat_class(TokenKind::MetaIdentifier);
        return false;
    }
    f.name = std::string(dotted_name(*name));
    f.meta_function = name->kind == TokenKind::MetaIdentifier;

    if (!parse_parameters(f.params)) return false;
    if (!eat(TokenKind::LBrace, "{")) return false;
    skip_newline();
    while (true) {
        const Checkpoint cp = mark();
        BasicBlock block;
        if (!parse_block(block)) {
            rewind(cp);
            break;
        }
        const Label l = block.label;
        f.body.insert_or_assign(l, std::move(block));  // a later block replaces one with the same label
    }
    if (!eat(TokenKind::RBrace, "}")) return false;
    finish_function(f);
    items.emplace_back(std::move(f));
    return true;
}

void Parser::finish_function(Function& f) {
    f.uuid = state_.next_function_id();
    // Advice only: computed when someone listens.
    if (log::enabled(log::Level::Error)) {
        const bool should_be_meta = f.should_be_meta_function();
        if (should_be_meta && !f.meta_function) {
            log::write(log::Level::Error, kLogTarget,
                       fmt::format("Function '{}' should be declared as a meta-function (it uses meta-instructions "
                                   "or has wildcard types)",
                                   *f.name));
        } else if (!should_be_meta && f.meta_function && log::enabled(log::Level::Warn)) {
            log::write(log::Level::Warn, kLogTarget,
                       fmt::format("Function '{}' is declared as a meta-function but does not use any "
                                   "meta-instructions or wildcard types",
                                   *f.name));
        }
    }
    state_.clear();
}

bool Parser::parse_block(BasicBlock& block) {
    const auto label = parse_label();
    if (!label || !eat(TokenKind::Colon, ":")) return false;
    block.label = *label;
    skip_newline();
    while (true) {
        const Checkpoint cp = mark();
        if (!block.instructions.empty() && !eat(TokenKind::Newline, "\\n")) break;
        NkInstr instr;
        if (!parse_instruction(instr)) {
            rewind(cp);
            break;
        }
        block.instructions.push_back(std::move(instr));
    }
    skip_newline();
    if (!parse_terminator(block.terminator)) return false;
    skip_newline();
    return true;
}

std::optional<Label> Parser::parse_label() {
    if (at(TokenKind::Identifier)) return Label{state_.get_label(dotted_name(toks_[pos_++]))};
    LabelScope label(*this, "label");
    note(Expected::label("label"));
    return std::nullopt;
}

bool Parser::parse_terminator(NkTerminator& out) {
    const Token* t = peek();
    if (!t || t->kind != TokenKind::TerminatorOp) {
        for (std::string_view op : {"Branch", "Trap", "Jump", "Ret"}) note(Expected::token(op));
        return false;
    }
    ++pos_;
    switch (t->terminator_op()) {
        case NkTerminatorOp::Branch: {
            auto cond = parse_operand();
            if (!cond || !eat(TokenKind::Comma, ",")) return false;
            const auto if_true = parse_label();
            if (!if_true || !eat(TokenKind::Comma, ",")) return false;
            const auto if_false = parse_label();
            if (!if_false) return false;
            out = Branch{std::move(*cond), *if_true, *if_false};
            return true;
        }
        case NkTerminatorOp::Trap:
            out = Trap{};
            return true;
        case NkTerminatorOp::Jump: {
            const auto target = parse_label();
            if (!target) return false;
            out = Jump{*target};
            return true;
        }
        case NkTerminatorOp::Ret: {
            if (auto value = parse_operand()) {
                out = Ret{std::move(*value)};
                return true;
            }
            if (!eat(TokenKind::Void, "void")) return false;
            out = Ret{std::nullopt};
            return true;
        }
    }
    return false;
}

}  // namespace nkinstr::parser
