// extend_module_from_string: lex, parse, resolve function references between
// the new functions, normalise and insert them, verify the module.

#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include <fmt/format.h>

#include "nkinstr/modules/parser/grammar.hpp"
#include "nkinstr/modules/parser/lexer.hpp"
#include "nkinstr/modules/parser/parser.hpp"
#include "nkinstr/utils/log.hpp"

namespace nkinstr {

namespace {

constexpr std::string_view kLogTarget = "nkinstr::modules::parser";

void log_error(std::string_view message) { log::write(log::Level::Error, kLogTarget, message); }

// Names referenced before any function of that name exists, each with the
// placeholder UUID handed out for it. Ordered by name so that the first
// reported failure does not depend on hashing.
using PendingTable = std::map<std::string, Uuid, std::less<>>;

Uuid placeholder_for(PendingTable& table, std::string_view name) {
    auto it = table.find(name);
    if (it == table.end()) it = table.emplace(std::string(name), Uuid::new_v4()).first;
    return it->second;
}

ParserError to_parser_error(const parser::TokenList& tokens, std::size_t source_size, std::size_t first,
                            std::size_t last, std::string message) {
    const std::size_t n = tokens.size();
    if (last <= first) last = first + 1;
    ParserError e;
    e.start = first < n ? tokens.spans[first].start : source_size;
    e.end = last - 1 < n ? tokens.spans[last - 1].end : source_size;
    e.message = std::move(message);
    return e;
}

std::vector<std::string> token_texts(const parser::TokenList& tokens) {
    std::vector<std::string> out;
    out.reserve(tokens.size());
    for (const auto& t : tokens.tokens) out.push_back(parser::token_debug(t, tokens));
    return out;
}

Error lexing_failure(std::vector<parser::LexError>& errors) {
    log_error("Lexing errors encountered in provided source string:");
    std::vector<ParserError> out;
    out.reserve(errors.size());
    for (auto& e : errors) out.push_back(ParserError{std::nullopt, e.span.start, e.span.end, std::move(e.message)});
    return errors::ParserErrors{std::move(out), {}};
}

Error parsing_failure(const parser::TokenList& tokens, std::size_t source_size,
                      std::vector<parser::GrammarError>& errors) {
    log_error("Parsing errors encountered in provided source string:");
    std::vector<ParserError> out;
    out.reserve(errors.size());
    for (auto& e : errors) out.push_back(to_parser_error(tokens, source_size, e.first, e.last, std::move(e.message)));
    return errors::ParserErrors{std::move(out), token_texts(tokens)};
}

std::string optional_name_debug(const std::optional<std::string>& name) {
    return name ? "Some(" + debug_string(*name) + ")" : "None";
}

// Rewrites internal function pointers whose UUID is a placeholder.
void replace_placeholders(Function& f, const std::unordered_map<Uuid, Uuid, UuidHash>& mapping) {
    if (mapping.empty()) return;
    auto fix = [&](Operand& o) {
        AnyConst* c = as_imm(o);
        auto* fp = c ? std::get_if<FunctionPointer>(c) : nullptr;
        if (!fp || fp->is_external()) return;
        if (auto it = mapping.find(fp->uuid); it != mapping.end()) fp->uuid = it->second;
    };
    for (auto& [label, block] : f.body) {
        for (auto& instr : block.instructions) instr.for_each_operand_mut(fix);
        // Terminators can carry function pointers too (ret ptr f).
        block.terminator.for_each_operand_mut(fix);
    }
}

}  // namespace

Status extend_module_from_string(Module& module, TypeRegistry& registry, std::string_view source) {
    // 1. Lex.
    parser::LexResult lexed = parser::lex(source);
    if (!lexed.errors.empty()) return fail(lexing_failure(lexed.errors));
    const parser::TokenList& tokens = lexed.tokens;

    // 2. Parse, with a resolver that asks the module first and hands out
    // placeholders for names it does not know yet.
    PendingTable pending_internal, pending_external;
    parser::State state(
        registry,
        [&](std::string_view name, bool external) -> std::optional<Uuid> {
            if (auto found = module.find_function_uuid_by_name(name, external)) return found->uuid;
            return placeholder_for(external ? pending_external : pending_internal, name);
        },
        [] { return Uuid::new_v4(); });
    parser::ParseOutcome outcome = parser::parse_tokens(tokens, state);

    // 3. Any recorded or syntax error fails the call.
    if (!outcome.errors.empty()) return fail(parsing_failure(tokens, source.size(), outcome.errors));

    // 4. Imports are refused; functions are normalised.
    std::vector<Function> new_functions;
    new_functions.reserve(outcome.items.size());
    for (auto& item : outcome.items) {
        if (auto* import = std::get_if<parser::ImportItem>(&item)) {
            log_error(fmt::format("Import encountered in string source; imports unsupported in this context: {}",
                                  import->path));
            std::vector<ParserError> errors{ParserError{
                std::nullopt, 0, 0,
                fmt::format("import statements are not supported when parsing from string: {}", import->path)}};
            return fail(errors::ParserErrors{std::move(errors), token_texts(tokens)});
        }
        Function& f = std::get<Function>(item);
        if (log::enabled(log::Level::Debug))
            log::write(log::Level::Debug, kLogTarget,
                       fmt::format("Adding function {} to module", optional_name_debug(f.name)));
        if (Status s = f.normalize_ssa(); !s.ok()) {
            log_error(fmt::format("SSA normalisation of function {} failed: {}", f.display_name(), s.error().message()));
            return fail(std::move(s).error());
        }
        new_functions.push_back(std::move(f));
    }

    // 5. Every pending internal name must be defined exactly once by this source.
    std::unordered_map<Uuid, Uuid, UuidHash> mapping;
    for (const auto& [name, placeholder] : pending_internal) {
        const Function* match = nullptr;
        std::size_t count = 0;
        for (const auto& f : new_functions) {
            if (f.name && *f.name == name) {
                ++count;
                match = &f;
            }
        }
        if (count == 0) {
            log_error(fmt::format("Unresolved internal function: {}", debug_string(name)));
            return fail(errors::UndefinedFunction{false, name});
        }
        if (count > 1) {
            log_error(fmt::format("Multiple functions found with the same name: {}", name));
            return fail(errors::DuplicateFunctionName{name});
        }
        mapping.emplace(placeholder, match->uuid);
    }

    // 6. External names must already be declared by the module.
    if (!pending_external.empty()) {
        std::vector<std::string> names;
        for (const auto& [name, placeholder] : pending_external) names.push_back(name);
        log_error(fmt::format("Unresolved external functions: {}", debug_string_list(names)));
        std::string joined;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i) joined += ", ";
            joined += names[i];
        }
        return fail(errors::UndefinedFunction{true, std::move(joined)});
    }

    // 7. Resolve placeholders and insert.
    for (auto& f : new_functions) {
        replace_placeholders(f, mapping);
        const Uuid id = f.uuid;
        module.functions.insert_or_assign(id, std::make_shared<Function>(std::move(f)));
    }

    // 8. Verify the module as a whole.
    if (Status s = module.verify(); !s.ok()) {
        log_error(fmt::format("Module verification failed: {}", s.error().message()));
        return s;
    }
    return {};
}

}  // namespace nkinstr
