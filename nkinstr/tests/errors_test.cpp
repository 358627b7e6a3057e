#include <gtest/gtest.h>

#include "nkinstr/utils/error.hpp"

using namespace nkinstr;

namespace {

// Fills the "{}" placeholders of a message template in order.
std::string fill(std::string_view tmpl, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl.substr(i, 2) == "{}") {
            out += args.at(next++);
            ++i;
        } else {
            out.push_back(tmpl[i]);
        }
    }
    EXPECT_EQ(next, args.size()) << tmpl;
    return out;
}

const Uuid kTarget = *Uuid::parse("0190f1c2-8a3b-7c4d-9e5f-123456789abc");
const std::string kTargetText = "0190f1c2-8a3b-7c4d-9e5f-123456789abc";

TEST(Errors, EveryVariantDisplaysItsMessage) {
    struct Case {
        std::size_t index;
        Error error;
        std::string_view message_template;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {0, errors::DuplicateDefinition{Name{3}},
         "Multiple operations with shared destination target violate SSA requirements. The name `{}` is defined more than once within the same function.",
         {"%3"}},
        {1, errors::MissingEntryBlock{},
         "By convention, the entrypoint basic block of a function must have label `label_0`. No such basic block was found.",
         {}},
        {2, errors::UndefinedName{Name{7}},
         "A operand refers to an undefined name: `{}`. This name was never defined in the module.",
         {"%7"}},
        {3, errors::UndefinedInternalFunction{"main", kTarget},
         "An instruction of function `{}` refers to an internal function referenced by `{}` that is not defined within the module.",
         {"main", kTargetText}},
        {4, errors::UndefinedExternalFunction{"main", kTarget},
         "An instruction of function `{}` refers to an external function referenced by `{}` that is not defined within the module.",
         {"main", kTargetText}},
        {5, errors::UnsoundWildcardTypes{"f", {}, {"A"}},
         "Unsound wildcard type usage in function `{}`: expected wildcard types `{}`, but found `{}`.",
         {"f", "[]", "[\"A\"]"}},
        {6, errors::MetaOperandNotAllowed{},
         "Meta operands are only available internally for properties and attributes constructions. They SHOULD NOT appear in regular instructions.",
         {}},
        {7, errors::PhiNotFirst{Label{2}},
         "Phi instructions must be the first instructions in a basic block or follow other phi instructions. The basic block `{}` contains a phi instruction that is not the first instruction.",
         {"block_2"}},
        {8, errors::UndefinedLabel{Label{9}, "f"},
         "The basic block `{}` referenced in function `{}` is not defined within the function.",
         {"block_9", "f"}},
        {9, errors::MetaInstructionNotAllowed{"f", "MetaForall(MetaForall { dest: Name(0) })"},
         "Meta instructions are only available internally for properties and attributes constructions. They SHOULD NOT appear in regular instructions. Function `{}` contains a meta-instruction `{}`.",
         {"f", "MetaForall(MetaForall { dest: Name(0) })"}},
        {10, errors::TooManyBasicBlocks{"f", 65537, 65536},
         "Function `{}` contains {} basic blocks, exceeding the maximum allowed of {}.",
         {"f", "65537", "65536"}},
        {11, errors::TooManyBlockInstructions{Label{4}, "f", 70000, 65536},
         "Basic block `{}` in function `{}` contains {} instructions, exceeding the maximum allowed of {}.",
         {"block_4", "f", "70000", "65536"}},
        {12, errors::TooManyInstructions{"f", 1000001, 1000000},
         "Function `{}` contains {} instructions, exceeding the maximum allowed of {}.",
         {"f", "1000001", "1000000"}},
        {13, errors::TooManyParameters{"f", 4097, 4096},
         "Function `{}` contains {} parameters, exceeding the maximum allowed of {}.",
         {"f", "4097", "4096"}},
        {14, errors::TooManyWildcardTypes{"f", 257, 256},
         "Function `{}` contains {} wildcard types, exceeding the maximum allowed of {}.",
         {"f", "257", "256"}},
        {15, errors::DuplicateLabel{Label{1}},
         "A basic block with label `{}` already exists in the function.",
         {"block_1"}},
        {16, errors::FileNotAccessible{"a.nk", "No such file or directory (os error 2)"},
         "The provided file `{}` does not exist or is not accessible: {}",
         {"a.nk", "No such file or directory (os error 2)"}},
        {17, errors::ParserErrors{{ParserError{std::nullopt, 0, 3, "found 'x' expected type"}, ParserError{"m.nk", 4, 5, "a\"b"}}, {"tok"}},
         "Parser errors occurred: {}",
         {"[ParserError { file: None, start: 0, end: 3, message: \"found 'x' expected type\" }, ParserError { file: Some(\"m.nk\"), start: 4, end: 5, message: \"a\\\"b\" }]"}},
        {18, errors::DuplicateFunction{"main"},
         "A function with the name `{}` already exists in the module.",
         {"main"}},
        {19, errors::UndefinedInternalFunctions{{"a", "b"}},
         "The following internal functions were referenced but not defined within the module: {}",
         {"[\"a\", \"b\"]"}},
        {20, errors::DuplicateFunctionName{"main"},
         "A function with the name `{}` already exists in the module.",
         {"main"}},
        {21, errors::UndefinedFunction{false, "g"},
         "The {} function `{}` was referenced but not defined within the module as either an internal or external function.",
         {"internal", "g"}},
        {22, errors::TypeMismatch{"iadd", "i32", "i64"},
         "Type mismatch in instruction `{}`: expected type `{}`, but found type `{}`.",
         {"iadd", "i32", "i64"}},
        {23, errors::IndexOutOfBounds{5, "{i8, i32}", 1, "extractvalue"},
         "The provided index `{}` is out of bounds for type `{}` with maximum index `{}` in instruction `{}`.",
         {"5", "{i8, i32}", "1", "extractvalue"}},
    };
    ASSERT_EQ(std::size(cases), std::variant_size_v<Error::Variant>);
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.index(), c.index);
        EXPECT_EQ(c.error.message(), fill(c.message_template, c.args)) << "variant " << c.index;
    }
}

TEST(Errors, DebugStringsEscapeWhatCannotBeShownAsIs) {
    struct Case {
        std::string_view input;
        std::string_view quoted;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"", R"("")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"line\nfeed\rtab\t", R"("line\nfeed\rtab\t")"},
        {std::string_view("nul\0x", 5), R"("nul\0x")"},
        {"\x1b[0m\x7f", R"("\u{1b}[0m\u{7f}")"},
        {"caf\xc3\xa9 \xe2\x86\x92 ok", "\"caf\xc3\xa9 \xe2\x86\x92 ok\""},  // printable UTF-8 stays as is
        {"\xc2\x85|\xe2\x80\xa8|\xef\xbb\xbf", R"("\u{85}|\u{2028}|\u{feff}")"},
        {"bad\xff\xc3", R"("bad\xff\xc3")"},             // invalid and truncated sequences
        {"\xc0\xaf\xed\xa0\x80", R"("\xc0\xaf\xed\xa0\x80")"},  // overlong form, surrogate
        {"'single'", R"("'single'")"},
    };
    for (const auto& c : cases) EXPECT_EQ(debug_string(c.input), c.quoted);
    EXPECT_EQ(debug_string_list({}), "[]");
    EXPECT_EQ(debug_string_list({"a", "b\n"}), R"(["a", "b\n"])");
}

}  // namespace
