#include "nkinstr/utils/error.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

void append_debug_string(std::string& out, std::string_view s) {
    out.push_back('"');
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F)
                    out += fmt::format("\\u{{{:x}}}", c);
                else
                    out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

std::string debug_string(std::string_view s) {
    std::string out;
    append_debug_string(out, s);
    return out;
}

std::string debug_string_list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        append_debug_string(out, items[i]);
    }
    out += "]";
    return out;
}

namespace {
std::string reg(Name n) { return fmt::format("%{}", n.id); }
std::string block(Label l) { return fmt::format("block_{}", l.id); }

std::string parser_errors_text(const std::vector<ParserError>& errors) {
    std::string out = "[";
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const auto& e = errors[i];
        if (i) out += ", ";
        out += "ParserError { file: ";
        if (e.file) {
            out += "Some(";
            append_debug_string(out, *e.file);
            out += ")";
        } else {
            out += "None";
        }
        out += fmt::format(", start: {}, end: {}, message: ", e.start, e.end);
        append_debug_string(out, e.message);
        out += " }";
    }
    out += "]";
    return out;
}
}  // namespace

std::string Error::message() const {
    using namespace errors;
    return std::visit(
        Overloaded{
            [](const DuplicateDefinition& e) {
                return fmt::format("Multiple operations with shared destination target violate SSA requirements. "
                                   "The name `{}` is defined more than once within the same function.",
                                   reg(e.name));
            },
            [](const MissingEntryBlock&) {
                return std::string("By convention, the entrypoint basic block of a function must have label "
                                   "`label_0`. No such basic block was found.");
            },
            [](const UndefinedName& e) {
                return fmt::format("A operand refers to an undefined name: `{}`. This name was never defined in "
                                   "the module.",
                                   reg(e.name));
            },
            [](const UndefinedInternalFunction& e) {
                return fmt::format("An instruction of function `{}` refers to an internal function referenced by "
                                   "`{}` that is not defined within the module.",
                                   e.function, e.target.to_string());
            },
            [](const UndefinedExternalFunction& e) {
                return fmt::format("An instruction of function `{}` refers to an external function referenced by "
                                   "`{}` that is not defined within the module.",
                                   e.function, e.target.to_string());
            },
            [](const UnsoundWildcardTypes& e) {
                return fmt::format("Unsound wildcard type usage in function `{}`: expected wildcard types `{}`, "
                                   "but found `{}`.",
                                   e.function, debug_string_list(e.expected), debug_string_list(e.found));
            },
            [](const MetaOperandNotAllowed&) {
                return std::string("Meta operands are only available internally for properties and attributes "
                                   "constructions. They SHOULD NOT appear in regular instructions.");
            },
            [](const PhiNotFirst& e) {
                return fmt::format("Phi instructions must be the first instructions in a basic block or follow "
                                   "other phi instructions. The basic block `{}` contains a phi instruction that "
                                   "is not the first instruction.",
                                   block(e.block));
            },
            [](const UndefinedLabel& e) {
                return fmt::format("The basic block `{}` referenced in function `{}` is not defined within the "
                                   "function.",
                                   block(e.label), e.function);
            },
            [](const MetaInstructionNotAllowed& e) {
                return fmt::format("Meta instructions are only available internally for properties and attributes "
                                   "constructions. They SHOULD NOT appear in regular instructions. Function `{}` "
                                   "contains a meta-instruction `{}`.",
                                   e.function, e.instruction);
            },
            [](const TooManyBasicBlocks& e) {
                return fmt::format("Function `{}` contains {} basic blocks, exceeding the maximum allowed of {}.",
                                   e.function, e.count, e.max);
            },
            [](const TooManyBlockInstructions& e) {
                return fmt::format("Basic block `{}` in function `{}` contains {} instructions, exceeding the "
                                   "maximum allowed of {}.",
                                   block(e.block), e.function, e.count, e.max);
            },
            [](const TooManyInstructions& e) {
                return fmt::format("Function `{}` contains {} instructions, exceeding the maximum allowed of {}.",
                                   e.function, e.count, e.max);
            },
            [](const TooManyParameters& e) {
                return fmt::format("Function `{}` contains {} parameters, exceeding the maximum allowed of {}.",
                                   e.function, e.count, e.max);
            },
            [](const TooManyWildcardTypes& e) {
                return fmt::format("Function `{}` contains {} wildcard types, exceeding the maximum allowed of {}.",
                                   e.function, e.count, e.max);
            },
            [](const DuplicateLabel& e) {
                return fmt::format("A basic block with label `{}` already exists in the function.", block(e.label));
            },
            [](const FileNotAccessible& e) {
                return fmt::format("The provided file `{}` does not exist or is not accessible: {}", e.path,
                                   e.cause);
            },
            [](const ParserErrors& e) {
                return fmt::format("Parser errors occurred: {}", parser_errors_text(e.errors));
            },
            [](const DuplicateFunction& e) {
                return fmt::format("A function with the name `{}` already exists in the module.", e.name);
            },
            [](const UndefinedInternalFunctions& e) {
                return fmt::format("The following internal functions were referenced but not defined within the "
                                   "module: {}",
                                   debug_string_list(e.names));
            },
            [](const DuplicateFunctionName& e) {
                return fmt::format("A function with the name `{}` already exists in the module.", e.name);
            },
            [](const UndefinedFunction& e) {
                return fmt::format("The {} function `{}` was referenced but not defined within the module as either "
                                   "an internal or external function.",
                                   e.external ? "external" : "internal", e.name);
            },
            [](const TypeMismatch& e) {
                return fmt::format("Type mismatch in instruction `{}`: expected type `{}`, but found type `{}`.",
                                   e.instruction, e.expected, e.found);
            },
            [](const IndexOutOfBounds& e) {
                return fmt::format("The provided index `{}` is out of bounds for type `{}` with maximum index `{}` "
                                   "in instruction `{}`.",
                                   e.index, e.ty, e.max, e.instruction);
            },
        },
        v_);
}

}  // namespace nkinstr
