#include "nkinstr/utils/error.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

namespace {

// Length of the well-formed UTF-8 sequence at s[i] and its code point, or 0
// for a byte that starts no valid sequence (stray continuation, overlong
// form, surrogate, beyond U+10FFFF, truncated).
std::size_t decode_utf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Characters that would be invisible or disturb the layout of a message.
bool is_unprintable(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) ||
           (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
}

}  // namespace

void append_debug_string(std::string& out, std::string_view s) {
    out.push_back('"');
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t len = decode_utf8(s, i, cp);
        if (len == 0) {
            // Not UTF-8: show the byte itself so the message stays valid text.
            out += fmt::format("\\x{:02x}", static_cast<unsigned char>(s[i]));
            ++i;
            continue;
        }
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case 0: out += "\\0"; break;
            default:
                if (is_unprintable(cp))
                    out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
                else
                    out.append(s, i, len);
        }
        i += len;
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
