#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkinstr/modules/parser/grammar.hpp"
#include "nkinstr/modules/parser/lexer.hpp"

using namespace nkinstr;
using namespace nkinstr::parser;

namespace {

// Resolves every name except those starting with "missing".
State make_state(TypeRegistry& registry) {
    return State(
        registry,
        [](std::string_view name, bool) -> std::optional<Uuid> {
            if (name.substr(0, 7) == "missing") return std::nullopt;
            Uuid u;
            u.bytes[0] = 1;
            return u;
        },
        [] { return Uuid::new_v4(); });
}

struct Parsed {
    std::vector<Item> items;
    std::vector<std::string> errors;
    std::vector<GrammarError> raw_errors;

    const Function& function(std::size_t i = 0) const { return std::get<Function>(items.at(i)); }
    const NkInstr& instr(std::size_t i) const { return function().body.begin()->second.instructions.at(i); }
};

Parsed parse(std::string_view src, TypeRegistry& registry) {
    LexResult lexed = lex(src);
    EXPECT_TRUE(lexed.errors.empty()) << (lexed.errors.empty() ? "" : lexed.errors[0].message);
    State state = make_state(registry);
    ParseOutcome out = parse_tokens(lexed.tokens, state);
    Parsed p;
    p.items = std::move(out.items);
    for (const auto& e : out.errors) p.errors.push_back(e.message);
    p.raw_errors = std::move(out.errors);
    return p;
}

// One instruction line inside a function with one block.
std::string in_function(std::string_view line) {
    return "define void f() {\nentry:\n  " + std::string(line) + "\n  ret void\n}\n";
}

struct ErrorCase {
    std::string line;
    std::string message;
};

class InstructionErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(InstructionErrors, RecordsMessage) {
    TypeRegistry registry;
    Parsed p = parse(in_function(GetParam().line), registry);
    EXPECT_EQ(p.errors, std::vector<std::string>{GetParam().message}) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Action, InstructionErrors,
    ::testing::Values(
        ErrorCase{"%d: i32 = store %p, %v",
                  "syntax error for store instruction: destination register specified where none expected"},
        ErrorCase{"phi [%a, entry]", "syntax error for phi instruction: missing destination register"},
        ErrorCase{"iadd.wrap %a, %b", "syntax error for iadd instruction: missing destination register"},
        ErrorCase{"%d: i32 = phi %a, %b",
                  "syntax error for phi instruction: expected [operand, label] pairs, got operands separated by "
                  "commas instead"},
        ErrorCase{"%d: i32 = iadd.wrap [%a, entry]",
                  "syntax error for iadd instruction: only 'phi' instructions can use the [operand, label] syntax, use "
                  "operands separated by commas instead"},
        ErrorCase{"%d: i32 = iadd %a, %b", "syntax error for iadd instruction: expected variant, got no variant"},
        ErrorCase{"%d: i32 = and.x %a, %b", "syntax error for and instruction: expected no variant, got variant"},
        ErrorCase{"%d: i1 = icmp.eq.x %a, %b",
                  "arity mismatch for icmp instruction variant: expected 1 variant operands, got 2"},
        ErrorCase{"%d: i32 = !analysis.term",
                  "arity mismatch for !analysis instruction variant: expected 2 variant operands, got 1"},
        ErrorCase{"%d: i32 = load.acquire.release %p",
                  "arity mismatch for load instruction variant: expected at most 1 variant operand, got 2"},
        ErrorCase{"%d: i32 = select %c, %a", "arity mismatch for select instruction: expected 3 operands, got 2"},
        ErrorCase{"%d: i32 = !forall %a", "arity mismatch for !forall instruction: expected 0 operands, got 1"},
        ErrorCase{"store %p", "arity mismatch for store instruction: expected 2 operands, got 1"},
        ErrorCase{"%d: ptr = alloca i32 1, align 0", "invalid alignment value: must be between 1 and 4294967295, got 0"},
        ErrorCase{"%d: ptr = alloca i32 1, align 4294967296",
                  "invalid alignment value: must be between 1 and 4294967295, got 4294967296"},
        ErrorCase{"%d: i32 = iadd.wrap %a, %b, align 4",
                  "alignment specifier is only valid for load, store and alloca instructions, got iadd instruction"},
        ErrorCase{"%d: ptr = alloca i32 1, volatile",
                  "volatile specifier is only valid for load and store instructions, got alloca instruction"},
        ErrorCase{"%d: ptr = getelementptr %p, i32 0",
                  "syntax error for getelementptr instruction: missing additional type"},
        ErrorCase{"%d: i32 = iadd.wrap i32, %a, %b", "syntax error for iadd instruction: unexpected additional type"},
        ErrorCase{"%d: ptr = getelementptr i32,",
                  "arity mismatch for getelementptr instruction: expected at least 1 operand for indices, got 0"},
        ErrorCase{"%d: i32 = invoke",
                  "arity mismatch for invoke instruction: expected at least 1 operand (function pointer), got 0"},
        ErrorCase{"%d: i32 = insertvalue %a, %b",
                  "arity mismatch for insertvalue instruction: expected aggregate, value, and at least one index, got 2"},
        ErrorCase{"%d: i32 = extractvalue %a",
                  "arity mismatch for extractvalue instruction: expected aggregate and at least one index, got 1"},
        ErrorCase{"%d: i32 = extractvalue %agg, i32 -1", "index 0 must be non-negative"},
        ErrorCase{"%d: i32 = extractvalue %agg, i32 0, %i", "index 1 must be an integer immediate"},
        ErrorCase{"%d: i32 = insertvalue %agg, %v, i64 4294967296", "index 0 is too large to fit in u32"},
        ErrorCase{"%d: i32 = iadd.wrap %a, %b entry", "syntax error for iadd instruction: unexpected label list"},
        ErrorCase{"%d: i32 = !analysis.term.reach", "syntax error for !analysis.term.reach: expected at least 1 label"},
        ErrorCase{"%d: i32 = !analysis.term.other",
                  "unknown termination scope variant: other (expected one of: blockexit, funcexit, reach)"},
        ErrorCase{"%d: i32 = !analysis.term.blockexit %a",
                  "arity mismatch for !analysis.term: expected 0 operands, got 1"},
        ErrorCase{"%d: i32 = !analysis.icnt", "arity mismatch for !analysis.icnt: expected 1 operand, got 0"},
        ErrorCase{"%d: i32 = !analysis.icnt %a", "type error for !analysis.icnt: expected integer immediate operand"},
        ErrorCase{"%d: i32 = !analysis.foo", "unknown analysis statistic op: foo (expected one of: icnt, excnt, term)"},
        ErrorCase{"%d: i32 = iadd.bogus %a, %b",
                  "unknown overflow signedness policy: bogus (expected one of: wrap, ssat, usat, strap, utrap)"},
        ErrorCase{"%d: i32 = idiv.s %a, %b", "unknown signedness variant: s (expected one of: signed, unsigned)"},
        ErrorCase{"%d: i1 = icmp.lt %a, %b",
                  "unknown integer comparison variant: lt (expected one of: eq, ne, ugt, uge, ult, ule, sgt, sge, slt, "
                  "sle)"},
        ErrorCase{"%d: i32 = isht.shl %a, %b",
                  "unknown integer isht variant: shl (expected one of: lsl, lsr, asr, rol, ror)"},
        ErrorCase{"%d: i1 = fcmp.eq %a, %b",
                  "unknown floating-point comparison variant: eq (expected one of: oeq, ogt, oge, olt, ole, one, ueq, "
                  "ugt, uge, ult, ule, une, ord)"},
        ErrorCase{"%d: i32 = load.acq %p",
                  "unknown memory ordering variant: acq (expected one of: unordered, monotonic, acquire, release, "
                  "acq_rel, seq_cst)"},
        ErrorCase{"%d: i32 = cast.fptoint %a",
                  "unknown cast variant: fptoint (expected one of: trunc, zext, sext, fptrunc, fpext, fptoui, fptosi, "
                  "uitofp, sitofp, ptrtoint, inttoptr, bitcast)"},
        ErrorCase{"%d: fp64 = !prob.mean %a", "unknown meta-probability variant: mean (expected one of: prb, xpt, var)"},
        ErrorCase{"%d: fp64 = !prob.prb %a, %b",
                  "arity mismatch for meta-probability variant prb: expected 1 operands, got 2"},
        ErrorCase{"%d: <0 x i8> = fneg %a", "vector size must be a positive non-zero integer"},
        ErrorCase{"%d: <65536 x i8> = fneg %a", "vector size too large: maximum allowed is 65535, got 65536"},
        ErrorCase{"%d: [0 x i8] = fneg %a", "array size must be a positive non-zero integer"},
        ErrorCase{"%d: [-3 x i8] = fneg %a", "array size must be a positive non-zero integer"},
        ErrorCase{"%d: [99999999999999999999 x i8] = fneg %a",
                  "array size too large: maximum allowed is 65535, got 99999999999999999999"},
        ErrorCase{"%d: ptr = fneg ptr missing_fn", "function pointer 'missing_fn' not found"},
        ErrorCase{"%d: ptr = fneg ptr external missing.x", "external function pointer 'missing.x' not found"}));

struct SyntaxCase {
    std::string source;
    std::string message;
};

class SyntaxErrors : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(SyntaxErrors, ReportsFurthestFailure) {
    TypeRegistry registry;
    Parsed p = parse(GetParam().source, registry);
    ASSERT_FALSE(p.errors.empty()) << GetParam().source;
    EXPECT_EQ(p.errors.back(), GetParam().message) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, SyntaxErrors,
    ::testing::Values(
        SyntaxCase{"foo", "found 'foo' expected '\\n', import statement, function definition, or end of input"},
        SyntaxCase{"define void f()\n{\nentry:\n  ret void\n}", "found '\\n' expected '{'"},
        SyntaxCase{"define void f(%a: i32,\n %b: i32) {\nentry:\n  ret void\n}", "found '\\n' expected register"},
        SyntaxCase{"define void f(%a: foo) {}", "found 'foo' expected type"},
        SyntaxCase{"define foo f() {}", "found 'foo' expected type, or 'void'"},
        SyntaxCase{"define void 5() {}",
                   "found '5' expected token Visibility, token CallingConvention, token Identifier, or token "
                   "MetaIdentifier"},
        SyntaxCase{"define {i8,} f() {}", "found '}' expected type"},
        SyntaxCase{"define <4 x <2 x i8>> f() {}", "found '<' expected token IType, token FType, or 'ptr'"},
        SyntaxCase{"define [2 i8] f() {}", "found 'i8' expected 'x'"},
        SyntaxCase{"define {i8 i8} f() {}", "found 'i8' expected ',', or '}'"},
        SyntaxCase{"define void f() {\nentry:\n  %d: fp32 = fneg fp32 1\n  ret void\n}",
                   "found '1' expected ',', 'undef', or token Decimal"},
        SyntaxCase{"define void f() {\nentry:\n  ret ptr %main\n}",
                   "found '%main' expected 'undef', 'external', or token Identifier"},
        SyntaxCase{"define void f() {\nentry:\n  ret\n}",
                   "found '\\n' expected register, undef operand, immediate operand, or 'void'"},
        SyntaxCase{"define void f() {\nentry:\n  foo\n}",
                   "found 'foo' expected token Register, token InstrOp, '\\n', 'Branch', 'Trap', 'Jump', or 'Ret'"},
        SyntaxCase{"define void f() {\nentry\n  ret void\n}", "found '\\n' expected ':'"},
        SyntaxCase{"define void f() {\nentry:\n  jump 5\n}", "found '5' expected label"},
        SyntaxCase{"define void f() {\nentry:\n  ret void\n", "found end of input expected label, or '}'"},
        SyntaxCase{"define void f() {\nentry:\n  %d: i32 = iadd.wrap %a, %b %c\n  ret void\n}",
                   "found '%c' expected ',', label, '\\n', 'Branch', 'Trap', 'Jump', or 'Ret'"},
        SyntaxCase{"import 5", "found '5' expected token StringLiteral"}));

TEST(Parser, SyntaxErrorAtEndHasNoTokenRange) {
    TypeRegistry registry;
    Parsed p = parse("define void f() {", registry);
    ASSERT_EQ(p.raw_errors.size(), 1u);
    EXPECT_EQ(p.raw_errors[0].first, 6u);  // the token count
}

TEST(Parser, CustomErrorsKeepGoingAndCarryTheInstructionRange) {
    TypeRegistry registry;
    Parsed p = parse(in_function("%d: i32 = iadd %a, %b\n  store %p") , registry);
    ASSERT_EQ(p.errors.size(), 2u);
    // define void f ( ) { \n entry : \n | %d : i32 = iadd %a , %b | \n store %p
    EXPECT_EQ(p.raw_errors[0].first, 10u);
    EXPECT_EQ(p.raw_errors[0].last, 18u);
    EXPECT_EQ(p.raw_errors[1].first, 19u);
    EXPECT_EQ(p.raw_errors[1].last, 21u);
    EXPECT_EQ(p.items.size(), 1u);
}

TEST(Parser, DuplicateAttributes) {
    TypeRegistry registry;
    Parsed p = parse("define void hidden fastcc default cc f() {\nentry:\n ret void\n}", registry);
    EXPECT_EQ(p.errors, (std::vector<std::string>{"duplicate visibility metadata",
                                                  "duplicate calling convention metadata"}));
    const Function& f = p.function();
    EXPECT_EQ(f.visibility, Visibility::Default);  // the last one given
    EXPECT_EQ(f.cconv, CallingConvention{});
    EXPECT_EQ(p.raw_errors[0].first, 2u);
    EXPECT_EQ(p.raw_errors[0].last, 6u);
}

TEST(Parser, FunctionHeader) {
    TypeRegistry registry;
    Parsed p = parse("define i32 protected cc10 a.b.c(%x: i32, %y: ptr) {\nentry:\n ret %x\n}\n"
                     "define void !m() {\nentry:\n trap\n}\n"
                     "define void empty() {}",
                     registry);
    ASSERT_TRUE(p.errors.empty()) << p.errors[0];
    ASSERT_EQ(p.items.size(), 3u);
    const Function& f = p.function(0);
    EXPECT_EQ(f.name, "a.b.c");
    EXPECT_EQ(f.return_type, registry.intern(IType{32}));
    EXPECT_EQ(f.visibility, Visibility::Protected);
    EXPECT_EQ(f.cconv, CallingConvention::numbered(10));
    ASSERT_EQ(f.params.size(), 2u);
    EXPECT_EQ(f.params[1], (std::pair<Name, Typeref>{Name{1}, registry.intern(PtrType{})}));
    EXPECT_FALSE(f.meta_function);
    EXPECT_EQ(p.function(1).name, "m");
    EXPECT_TRUE(p.function(1).meta_function);
    EXPECT_FALSE(p.function(1).return_type);
    EXPECT_TRUE(p.function(2).body.empty());
    EXPECT_NE(p.function(0).uuid, p.function(1).uuid);
}

TEST(Parser, NumberingRules) {
    TypeRegistry registry;
    Parsed p = parse("define i32 f(%a: i32, %b: i32) {\n"
                     "entry:\n"
                     "  %t: i32 = iadd.wrap %a, %b\n"
                     "  branch %t, later, entry\n"
                     "later: ret %t\n"
                     "}\n"
                     "define i32 g() {\n"
                     "start: %d: i32 = iadd.wrap %x, %y\n"
                     "  ret %d\n"
                     "}\n",
                     registry);
    ASSERT_TRUE(p.errors.empty()) << p.errors[0];
    const Function& f = p.function(0);
    const auto& entry = f.body.at(Label{0});
    const auto& add = *entry.instructions[0].get_if<IAdd>();
    EXPECT_EQ(add.lhs, Operand{Name{0}});
    EXPECT_EQ(add.rhs, Operand{Name{1}});
    EXPECT_EQ(add.dest, Name{2});
    // "later" is numbered at its first use, in the branch.
    EXPECT_EQ(entry.terminator, (NkTerminator{Branch{Operand{Name{2}}, Label{1}, Label{0}}}));
    EXPECT_TRUE(f.body.count(Label{1}));

    // The next function starts again at 0; operands are numbered before the destination.
    const auto& g_add = *p.function(1).body.at(Label{0}).instructions[0].get_if<IAdd>();
    EXPECT_EQ(g_add.lhs, Operand{Name{0}});
    EXPECT_EQ(g_add.rhs, Operand{Name{1}});
    EXPECT_EQ(g_add.dest, Name{2});
}

TEST(Parser, LaterBlockWithSameLabelReplacesEarlier) {
    TypeRegistry registry;
    Parsed p = parse("define void f() {\nb:\n trap\nb:\n ret void\n}", registry);
    ASSERT_TRUE(p.errors.empty());
    ASSERT_EQ(p.function().body.size(), 1u);
    EXPECT_EQ(p.function().body.at(Label{0}).terminator, NkTerminator{Ret{}});
}

TEST(Parser, CompactLayout) {
    TypeRegistry registry;
    Parsed p = parse("; leading comment\n\n define void f() { a: jump b\n b: trap\n } define void g() {\n"
                     "x: ret void }\n\n",
                     registry);
    ASSERT_TRUE(p.errors.empty()) << p.errors[0];
    EXPECT_EQ(p.items.size(), 2u);
}

TEST(Parser, OnlyBlankLinesAndEmptySource) {
    TypeRegistry registry;
    EXPECT_TRUE(parse("", registry).errors.empty());
    EXPECT_TRUE(parse("\n\n; comment\n\n", registry).errors.empty());
}

TEST(Parser, Imports) {
    TypeRegistry registry;
    Parsed p = parse("import \"std/io\"\ndefine void f() {\ne: trap\n}", registry);
    ASSERT_TRUE(p.errors.empty());
    ASSERT_EQ(p.items.size(), 2u);
    EXPECT_EQ(std::get<ImportItem>(p.items[0]).path, "std/io");
}

// ---- types and constants ----

Typeref type_of_first_dest(const Parsed& p) { return *p.instr(0).destination_type(); }

TEST(Types, PrimaryVectorArrayStruct) {
    TypeRegistry reg;
    auto parse_dest_type = [&](std::string_view ty) {
        Parsed p = parse(in_function("%d: " + std::string(ty) + " = fneg %a"), reg);
        EXPECT_TRUE(p.errors.empty()) << ty << ": " << (p.errors.empty() ? "" : p.errors[0]);
        return p.errors.empty() ? type_of_first_dest(p) : Typeref{};
    };
    const Typeref i8 = reg.intern(IType{8}), i32 = reg.intern(IType{32}), fp32 = reg.intern(FType::Fp32);
    EXPECT_EQ(parse_dest_type("i32"), i32);
    EXPECT_EQ(parse_dest_type("fp64"), reg.intern(FType::Fp64));
    EXPECT_EQ(parse_dest_type("bf16"), reg.intern(FType::Bf16));
    EXPECT_EQ(parse_dest_type("ptr"), reg.intern(PtrType{}));
    EXPECT_EQ(parse_dest_type("<4 x i32>"), reg.intern(VectorType{IType{32}, VcSize{VcSize::Kind::Fixed, 4}}));
    EXPECT_EQ(parse_dest_type("<vscale 4 x i32>"),
              reg.intern(VectorType{IType{32}, VcSize{VcSize::Kind::Scalable, 4}}));
    EXPECT_EQ(parse_dest_type("<2 x ptr>"), reg.intern(VectorType{PtrType{}, VcSize{VcSize::Kind::Fixed, 2}}));
    EXPECT_EQ(parse_dest_type("[65535 x i8]"), reg.search_or_insert(ArrayType{i8, 65535}));
    const Typeref inner = reg.search_or_insert(ArrayType{fp32, 3});
    EXPECT_EQ(parse_dest_type("[2 x [3 x fp32]]"), reg.search_or_insert(ArrayType{inner, 2}));
    EXPECT_EQ(parse_dest_type("{}"), reg.search_or_insert(StructType{{}, false}));
    EXPECT_EQ(parse_dest_type("packed {}"), reg.search_or_insert(StructType{{}, true}));
    const Typeref packed = parse_dest_type("packed {i8, i32}");
    EXPECT_EQ(packed, reg.search_or_insert(StructType{{i8, i32}, true}));
    EXPECT_NE(packed, parse_dest_type("{i8, i32}"));
    EXPECT_EQ(parse_dest_type("{i8, {[2 x i8], <4 x fp32>}}"), parse_dest_type("{i8, {[2 x i8], <4 x fp32>}}"));
}

TEST(Types, DeepNestingUsesNoStack) {
    constexpr std::size_t kDepth = 1000000;
    TypeRegistry reg;
    std::string arrays;
    arrays.reserve(kDepth * 7 + 64);
    for (std::size_t i = 0; i < kDepth; ++i) arrays += "[1 x ";
    arrays += "i8";
    arrays.append(kDepth, ']');
    Parsed p = parse("define " + arrays + " f() {}", reg);
    ASSERT_TRUE(p.errors.empty());
    EXPECT_TRUE(p.function().return_type.has_value());

    constexpr std::size_t kStructDepth = kDepth / 4;
    std::string structs(kStructDepth, '{');
    structs += "i8";
    for (std::size_t i = 0; i < kStructDepth; ++i) structs += i % 2 ? "}" : ", i8}";
    Parsed q = parse("define " + structs + " g() {}", reg);
    ASSERT_TRUE(q.errors.empty());
}

TEST(Constants, IntegerFloatAndFunctionPointers) {
    TypeRegistry reg;
    Parsed p = parse(in_function("%a: i8 = !isdef i8 300\n"
                                 "  %b: i1 = !isdef i1 -1\n"
                                 "  %c: fp32 = !isdef fp32 1.5\n"
                                 "  %d: fp64 = !isdef fp64 1e3\n"
                                 "  %e: ptr = !isdef ptr main\n"
                                 "  %f: ptr = !isdef ptr external a.b\n"
                                 "  %g: i32 = !isdef i32 undef\n"
                                 "  %h: i128 = !isdef i128 0xFFFFFFFFFFFFFFFFFFFF"),
                     reg);
    ASSERT_TRUE(p.errors.empty()) << p.errors[0];
    auto operand = [&](std::size_t i) { return p.instr(i).get_if<MetaIsDef>()->operand; };
    EXPECT_EQ(operand(0), (Operand{AnyConst{IConst{IType{8}, 300}}}));
    EXPECT_EQ(operand(1), (Operand{AnyConst{IConst{IType{1}, -1}}}));
    EXPECT_EQ(operand(2), (Operand{AnyConst{FConst{FType::Fp32, Decimal{15, 1}}}}));
    EXPECT_EQ(operand(3), (Operand{AnyConst{FConst{FType::Fp64, Decimal{1, -3}}}}));
    Uuid resolved;
    resolved.bytes[0] = 1;
    EXPECT_EQ(operand(4), (Operand{AnyConst{FunctionPointer{FunctionPointer::Kind::Internal, resolved}}}));
    EXPECT_EQ(operand(5), (Operand{AnyConst{FunctionPointer{FunctionPointer::Kind::External, resolved}}}));
    EXPECT_EQ(operand(6), (Operand{Undef{reg.intern(IType{32})}}));
    EXPECT_EQ(operand(7), (Operand{AnyConst{IConst{IType{128}, BigInt("0xFFFFFFFFFFFFFFFFFFFF")}}}));
}

TEST(Parser, BacktrackedAlternativesDoNotDuplicateErrors) {
    // The vector type is read by the additional-type attempt, the undef attempt
    // and the immediate attempt; its size error must be reported once.
    TypeRegistry reg;
    Parsed p = parse(in_function("%d: i32 = fneg <0 x i8> undef"), reg);
    EXPECT_EQ(p.errors, std::vector<std::string>{"vector size must be a positive non-zero integer"});
}

}  // namespace
