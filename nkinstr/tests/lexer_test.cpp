#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkinstr/modules/parser/lexer.hpp"

using namespace nkinstr;
using namespace nkinstr::parser;

namespace {

// Tokens in debug notation, joined by spaces; then " | " and the error
// messages joined by " | " when there are any.
std::string lex_summary(std::string_view src) {
    LexResult r = lex(src);
    std::string out;
    for (std::size_t i = 0; i < r.tokens.size(); ++i) {
        if (i) out += ' ';
        out += token_debug(r.tokens.tokens[i], r.tokens);
    }
    for (const auto& e : r.errors) out += (out.empty() ? "" : " | ") + e.message;
    return out;
}

struct LexCase {
    std::string source;
    std::string expected;
};

class LexTable : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexTable, Tokens) { EXPECT_EQ(lex_summary(GetParam().source), GetParam().expected) << GetParam().source; }

const std::string kNoToken =
    "expected whitespace or comment, numeral, string literal, '(', ')', '{', '}', '[', ']', '<', '>', ',', ':', '=', "
    "'\\n', register, identifier or keyword or itype, or end of input";

INSTANTIATE_TEST_SUITE_P(
    Words, LexTable,
    ::testing::Values(
        LexCase{"icmp.eq", "InstrOp(ICmp, [\"eq\"])"},
        LexCase{"icmp .eq", "InstrOp(ICmp, []) | found '.' " + kNoToken},
        LexCase{"!analysis.term.reach", "InstrOp(MetaAnalysisStat, [\"term\", \"reach\"])"},
        LexCase{"i32 i8388607", "IType(i32) IType(i8388607)"},
        LexCase{"i0", "Identifier(\"i0\", []) | cannot create IType with width 0 (must be between 1 and 8388607)"},
        LexCase{"i8388608",
                "Identifier(\"i8388608\", []) | cannot create IType with width 8388608 (must be between 1 and 8388607)"},
        LexCase{"i", "Identifier(\"i\", []) | invalid integer type width '': cannot parse integer from empty string"},
        LexCase{"i99999999999", "Identifier(\"i99999999999\", []) | invalid integer type width '99999999999': number "
                                "too large to fit in target type"},
        LexCase{"i32x i3a i32.x", "Identifier(\"i32x\", []) Identifier(\"i3a\", []) Identifier(\"i32\", [\"x\"])"},
        LexCase{"ret.x", "TerminatorOp(Ret) | terminator operation 'ret' does not take any variants, but variants "
                         "were provided"},
        LexCase{"hidden.x", "Visibility(Hidden) | visibility 'hidden' does not take any variants, but variants were "
                            "provided"},
        LexCase{"fastcc.x", "CallingConvention(FastC) | calling convention 'fastcc' does not take any variants, but "
                            "variants were provided"},
        LexCase{"void.x import.x void import", "Identifier(\"void\", [\"x\"]) Identifier(\"import\", [\"x\"]) Void Import"},
        LexCase{"cc cc10 cc+ cc4294967296 cfguard_checkcc",
                "CallingConvention(C) CallingConvention(Numbered(10)) CallingConvention(C) | found '+' " + kNoToken},
        LexCase{"cc4294967296 cca", "Identifier(\"cc4294967296\", []) Identifier(\"cca\", [])"},
        LexCase{"default protected seq_cst acq_rel fp16 x86_fp80 ppc_fp128",
                "Visibility(Default) Visibility(Protected) Ordering(SeqCst) Ordering(AcqRel) FType(fp16) "
                "FType(x86_fp80) FType(ppc_fp128)"},
        LexCase{"foo. !foo.bar !assert !x", "Identifier(\"foo\", [\"\"]) MetaIdentifier(\"foo\", [\"bar\"]) "
                                           "InstrOp(MetaAssert, []) MetaIdentifier(\"x\", [])"},
        LexCase{"ICMP Iadd", "Identifier(\"ICMP\", []) Identifier(\"Iadd\", [])"},
        LexCase{"% %a.b %x_1", "Register(\"\") Register(\"a.b\") Register(\"x_1\")"},
        LexCase{"héllo 名前 %λ", "Identifier(\"héllo\", []) Identifier(\"名前\", []) Register(\"λ\")"},
        LexCase{"! x", "found '!' " + kNoToken},
        LexCase{"a @", "Identifier(\"a\", []) | found '@' " + kNoToken},
        LexCase{"a → b", "Identifier(\"a\", []) | found '→' " + kNoToken}));

INSTANTIATE_TEST_SUITE_P(
    Numerals, LexTable,
    ::testing::Values(
        LexCase{"-5 +0x1F -0b101 0o17 0X1f", "Number(-5) Number(31) Number(-5) Number(15) Number(31)"},
        LexCase{"1.5e3 2E-2 -0.5 1.50", "Decimal(1500) Decimal(0.02) Decimal(-0.5) Decimal(1.50)"},
        LexCase{"1. ", "Number(1) | found '.' " + kNoToken},
        LexCase{"0x", "Number(0) Identifier(\"x\", [])"},
        LexCase{"2x 1e", "Number(2) Identifier(\"x\", []) Number(1) Identifier(\"e\", [])"},
        LexCase{"- 5", "found '-' " + kNoToken},
        LexCase{"1e100 1e20", "Decimal(1e100) Decimal(100000000000000000000)"},
        LexCase{"18446744073709551616 -9223372036854775808 0xFFFFFFFFFFFFFFFFFF",
                "Number(18446744073709551616) Number(-9223372036854775808) Number(4722366482869645213695)"},
        LexCase{"123456789012345678901234567890.5", "Decimal(123456789012345678901234567890.5)"},
        LexCase{"1e9223372036854775809", "Decimal(0) | invalid decimal literal '1e9223372036854775809': Exponent "
                                         "overflow when parsing '1e9223372036854775809'"},
        LexCase{"1e-9223372036854775807", "Decimal(1e-9223372036854775807)"},
        LexCase{"1e999999999999999999999999999999999999999999",
                "Decimal(0) | invalid decimal literal '1e999999999999999999999999999999999999999999': number too large "
                "to fit in target type"},
        LexCase{"1e-999999999999999999999999999999999999999999",
                "Decimal(0) | invalid decimal literal '1e-999999999999999999999999999999999999999999': number too "
                "small to fit in target type"}));

INSTANTIATE_TEST_SUITE_P(
    StringsAndLayout, LexTable,
    ::testing::Values(
        LexCase{R"("a\tb\"c\\d\ne\q")", R"(StringLiteral("a\tb\"c\\d\neq"))"},
        LexCase{"\"plain\"", "StringLiteral(\"plain\")"},
        LexCase{"\"abc", "found end of input expected '\\\\', or '\"'"},
        LexCase{"a\n\n; comment\n   \nb", "Identifier(\"a\", []) Newline Identifier(\"b\", [])"},
        LexCase{"a ; x\nb", "Identifier(\"a\", []) Newline Identifier(\"b\", [])"},
        LexCase{"a\r\nb", "Identifier(\"a\", []) Newline Identifier(\"b\", [])"},
        LexCase{"", ""},
        LexCase{"   ; only a comment", ""},
        LexCase{"\n\n\n", "Newline"},
        LexCase{"a\u00a0\u3000b", "Identifier(\"a\", []) Identifier(\"b\", [])"},
        LexCase{"(){}[]<>,:=", "LParen RParen LBrace RBrace LBracket RBracket LAngle RAngle Comma Colon Equals"}));

TEST(Lexer, EscapedStringDecodes) {
    LexResult r = lex(R"("a\tb\"c\\d\ne\q")");
    ASSERT_TRUE(r.errors.empty());
    ASSERT_EQ(r.tokens.size(), 1u);
    EXPECT_EQ(r.tokens.string(r.tokens.tokens[0]), "a\tb\"c\\d\neq");
}

TEST(Lexer, SpansIncludeSurroundingSpacing) {
    LexResult r = lex("  a  b\n c");
    ASSERT_EQ(r.tokens.size(), 4u);
    EXPECT_EQ(r.tokens.spans[0], (Span{0, 5}));  // "  a  "
    EXPECT_EQ(r.tokens.spans[1], (Span{5, 6}));  // "b"
    EXPECT_EQ(r.tokens.spans[2], (Span{6, 8}));  // "\n "
    EXPECT_EQ(r.tokens.spans[3], (Span{8, 9}));  // "c"
}

TEST(Lexer, ErrorSpansAndRecordedErrorsDoNotStopLexing) {
    LexResult r = lex("i0 ret.x  foo @");
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].span, (Span{0, 2}));
    EXPECT_EQ(r.errors[1].span, (Span{3, 8}));
    EXPECT_EQ(r.errors[2].span, (Span{14, 15}));
    EXPECT_EQ(r.tokens.size(), 3u);
}

TEST(Lexer, InvalidUtf8IsNotAToken) {
    LexResult r = lex("a \xff");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].message, "found '\\xff' " + kNoToken);
    EXPECT_EQ(r.errors[0].span, (Span{2, 3}));
    // A truncated multi-byte sequence at the end neither crashes nor reads past the end.
    EXPECT_EQ(lex("\xe5\x90").errors.size(), 1u);
}

TEST(Lexer, DisplayOfTokens) {
    LexResult r = lex("icmp.eq icmp %a foo.bar !m i8 \"q\\\"\" 1.5 -3 \n hidden cc10 acquire , trap");
    ASSERT_TRUE(r.errors.empty());
    std::vector<std::string> shown;
    for (const auto& t : r.tokens.tokens) shown.push_back(token_display(t, r.tokens));
    EXPECT_EQ(shown, (std::vector<std::string>{"ICmp<[\"eq\"]>", "ICmp", "%a", "foo.bar", "!m", "i8", "\"q\\\"\"",
                                               "1.5", "-3", "\\n", "Hidden", "Numbered(10)", "Acq", ",", "Trap"}));
}

TEST(Lexer, CharacterClasses) {
    EXPECT_TRUE(is_spacing_char(U'\u2003'));
    EXPECT_FALSE(is_spacing_char(U'\n'));
    EXPECT_TRUE(is_ident_continue(U'é'));
    EXPECT_TRUE(is_ident_continue(U'\u0301'));  // combining acute accent
    EXPECT_FALSE(is_ident_continue(U'\u00d7'));  // multiplication sign
    EXPECT_FALSE(is_ident_continue(U'\u2014'));  // em dash
    EXPECT_FALSE(is_ident_continue(U'-'));
}

}  // namespace
