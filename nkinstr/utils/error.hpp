#pragma once
// The IR library's single error type. Its display text is part of the
// interface: it reaches engine errors, logs and Python callers unchanged.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "nkinstr/modules/operand.hpp"
#include "nkinstr/utils/result.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkinstr {

// One error found while reading assembly text; offsets are bytes into the source.
struct ParserError {
    std::optional<std::string> file;
    std::size_t start = 0;
    std::size_t end = 0;
    std::string message;
    friend bool operator==(const ParserError&, const ParserError&) = default;
};

namespace errors {
struct DuplicateDefinition { Name name; };
struct MissingEntryBlock {};
struct UndefinedName { Name name; };
struct UndefinedInternalFunction { std::string function; Uuid target; };
struct UndefinedExternalFunction { std::string function; Uuid target; };
struct UnsoundWildcardTypes { std::string function; std::vector<std::string> expected, found; };
struct MetaOperandNotAllowed {};
struct PhiNotFirst { Label block; };
struct UndefinedLabel { Label label; std::string function; };
struct MetaInstructionNotAllowed { std::string function; std::string instruction; };
struct TooManyBasicBlocks { std::string function; std::size_t count, max; };
struct TooManyBlockInstructions { Label block; std::string function; std::size_t count, max; };
struct TooManyInstructions { std::string function; std::size_t count, max; };
struct TooManyParameters { std::string function; std::size_t count, max; };
struct TooManyWildcardTypes { std::string function; std::size_t count, max; };
struct DuplicateLabel { Label label; };
struct FileNotAccessible { std::string path; std::string cause; };  // cause: the OS message
struct ParserErrors { std::vector<ParserError> errors; std::vector<std::string> tokens; };
struct DuplicateFunction { std::string name; };
struct UndefinedInternalFunctions { std::vector<std::string> names; };
struct DuplicateFunctionName { std::string name; };
struct UndefinedFunction { bool external; std::string name; };
struct TypeMismatch { std::string instruction, expected, found; };
struct IndexOutOfBounds { std::size_t index; std::string ty; std::size_t max; std::string instruction; };
}  // namespace errors

class Error {
public:
    // Index = variant number.
    using Variant =
        std::variant<errors::DuplicateDefinition, errors::MissingEntryBlock, errors::UndefinedName,
                     errors::UndefinedInternalFunction, errors::UndefinedExternalFunction,
                     errors::UnsoundWildcardTypes, errors::MetaOperandNotAllowed, errors::PhiNotFirst,
                     errors::UndefinedLabel, errors::MetaInstructionNotAllowed, errors::TooManyBasicBlocks,
                     errors::TooManyBlockInstructions, errors::TooManyInstructions, errors::TooManyParameters,
                     errors::TooManyWildcardTypes, errors::DuplicateLabel, errors::FileNotAccessible,
                     errors::ParserErrors, errors::DuplicateFunction, errors::UndefinedInternalFunctions,
                     errors::DuplicateFunctionName, errors::UndefinedFunction, errors::TypeMismatch,
                     errors::IndexOutOfBounds>;

    template <class V, class = std::enable_if_t<!std::is_same_v<std::decay_t<V>, Error>>>
    Error(V&& v) : v_(std::forward<V>(v)) {}

    const Variant& variant() const { return v_; }
    std::size_t index() const { return v_.index(); }
    template <class V>
    const V* get_if() const { return std::get_if<V>(&v_); }

    // The display text.
    std::string message() const;

private:
    Variant v_;
};

template <class T>
using IrResult = Result<T, Error>;
using Status = Result<void, Error>;

// Quoted debug string: "..." with \" \\ \n \r \t \0 escapes, \u{..} for other
// unprintable characters and \x.. for bytes that are not part of valid UTF-8.
void append_debug_string(std::string& out, std::string_view s);
std::string debug_string(std::string_view s);
// ["a", "b"]
std::string debug_string_list(const std::vector<std::string>& items);

}  // namespace nkinstr
