#include <gtest/gtest.h>

#include <tuple>

#include <fmt/format.h>

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

namespace {

// A compact rendering of a check's outcome, so that a table can state it.
// TypeMismatch and IndexOutOfBounds must name `subject` as their instruction.
std::string outcome(const Status& s, const std::string& subject) {
    if (s.ok()) return "ok";
    if (const auto* m = s.error().get_if<errors::TypeMismatch>()) {
        EXPECT_EQ(m->instruction, subject);
        return fmt::format("expected `{}` found `{}`", m->expected, m->found);
    }
    if (const auto* b = s.error().get_if<errors::IndexOutOfBounds>()) {
        EXPECT_EQ(b->instruction, subject);
        return fmt::format("index {} of `{}` max {}", b->index, b->ty, b->max);
    }
    return s.error().message();
}

}  // namespace

// Parameters %0..%16 of the types below are in scope of every case.
class CheckerTest : public ::testing::Test {
protected:
    TypeRegistry registry;
    Types t{registry};
    const Typeref i1 = t.i(1), i2 = t.i(2), i8 = t.i(8), i32 = t.i(32), i64 = t.i(64);
    const Typeref f16 = t.fp(FType::Fp16), f32 = t.fp(FType::Fp32), f64 = t.fp(FType::Fp64);
    const Typeref ptr = t.ptr();
    const Typeref v4i32 = t.vec(IType{32}, 4), v8i32 = t.vec(IType{32}, 8), v4i1 = t.vec(IType{1}, 4);
    const Typeref v4i8 = t.vec(IType{8}, 4), v4f32 = t.vec(FType::Fp32, 4);
    const Typeref sv4i32 = t.vec(IType{32}, 4, true), v4a = t.vec(WildcardType{0}, 4);
    const Typeref pair = t.strct({i32, f64}), arr3 = t.array(i8, 3);
    const Typeref wild = Typeref::wildcard(0);

    std::vector<std::pair<Name, Typeref>> params() const {
        const Typeref types[] = {i32, i32, i64, i1, f32, f64, ptr, v4i32, v8i32, v4i1, v4f32, pair, arr3, sv4i32,
                                 wild, i8, v4a};
        std::vector<std::pair<Name, Typeref>> p;
        for (std::uint32_t k = 0; k < std::size(types); ++k) p.emplace_back(r(k), types[k]);
        return p;
    }
    static constexpr std::uint32_t kDest = 100;

    // Checks one instruction inside a function with the parameters above.
    std::string check(const NkInstr& instr) {
        Function f = function(params(), {block(0, {instr})});
        f.meta_function = true;
        return outcome(f.type_check(registry), instruction_text(instr, {&registry, nullptr}));
    }
    std::string check_terminator(const NkTerminator& term, std::optional<Typeref> return_type) {
        Function f = function(params(), {block(0, {}, term)});
        f.return_type = return_type;
        return outcome(f.type_check(registry), terminator_text(term, {&registry, nullptr}));
    }
    std::string mismatch(const std::string& expected, const std::string& found) {
        return fmt::format("expected `{}` found `{}`", expected, found);
    }
};

TEST_F(CheckerTest, InstructionRules) {
    const Name d = r(kDest);
    const auto c32 = [](long long v) { return int_imm(32, v); };
    const auto text = [&](const Operand& o) { return operand_text(o, {&registry, nullptr}); };
    const std::vector<std::pair<NkInstr, std::string>> cases = {
        // integer arithmetic and logic
        {IAdd{d, i32, reg(0), reg(1)}, "ok"},
        {IAdd{d, i32, reg(0), int_imm(64, 5)}, mismatch("i32", "i64")},
        {IAdd{d, i64, reg(0), reg(2)}, mismatch("i64", "i32")},
        {IAdd{d, f32, reg(4), reg(4)}, mismatch("iN or <N x iN>", "fp32")},
        {IAdd{d, v4i32, reg(7), reg(7)}, "ok"},
        {ISht{d, i32, reg(0), reg(15)}, mismatch("i32", "i8")},
        {INeg{d, i32, reg(4)}, mismatch("i32", "fp32")},
        {IImplies{d, i1, reg(3), reg(3)}, "ok"},
        {IAnd{d, v4i32, reg(7), reg(8)}, mismatch("<4 x i32>", "<8 x i32>")},
        {IAdd{d, i32, reg(0), reg(99)},
         "A operand refers to an undefined name: `%99`. This name was never defined in the module."},
        // floating-point arithmetic
        {FAdd{d, f32, reg(4), reg(4)}, "ok"},
        {FAdd{d, f32, reg(4), float_imm(FType::Fp64)}, mismatch("fp32", "fp64")},
        {FMul{d, i32, reg(0), reg(0)}, mismatch("fp or <N x fp>", "i32")},
        {FNeg{d, v4f32, reg(10)}, "ok"},
        {FRem{d, v4f32, reg(10), reg(7)}, mismatch("<4 x fp32>", "<4 x i32>")},
        // comparisons
        {ICmp{d, i1, reg(0), reg(1)}, "ok"},
        {ICmp{d, i32, reg(0), reg(1)}, mismatch("i1 or <N x i1>", "i32")},
        {ICmp{d, i1, reg(0), reg(2)}, mismatch("i32", "i64")},
        {ICmp{d, i1, reg(4), reg(4)}, mismatch("iN", "fp32")},
        {ICmp{d, i1, reg(7), reg(7)}, mismatch("iN", "<4 x i32>")},
        {ICmp{d, v4i1, reg(7), reg(7)}, "ok"},
        {ICmp{d, v4i1, reg(8), reg(8)}, mismatch("<4 x iN>", "<8 x i32>")},
        {ICmp{d, v4i1, reg(13), reg(13)}, mismatch("<4 x iN>", "<vscale 4 x i32>")},
        {ICmp{d, v4i1, reg(0), reg(0)}, mismatch("<4 x iN>", "i32")},
        {FCmp{d, i1, reg(4), reg(4)}, "ok"},
        {FCmp{d, i1, reg(0), reg(0)}, mismatch("fp", "i32")},
        {FCmp{d, v4i1, reg(10), reg(10)}, "ok"},
        {FCmp{d, v4i1, reg(7), reg(7)}, mismatch("<4 x fp>", "<4 x i32>")},
        // memory
        {MLoad{d, pair, reg(6), std::nullopt, std::nullopt, false}, "ok"},
        {MLoad{d, i32, reg(0), std::nullopt, std::nullopt, false}, mismatch("ptr", "i32")},
        {MStore{reg(6), reg(11), std::nullopt, std::nullopt, false}, "ok"},
        {MStore{reg(0), reg(6), std::nullopt, std::nullopt, false}, mismatch("ptr", "i32")},
        {MAlloca{d, ptr, reg(0), std::nullopt}, "ok"},
        {MAlloca{d, ptr, reg(4), std::nullopt}, mismatch("iN", "fp32")},
        {MAlloca{d, ptr, reg(7), std::nullopt}, mismatch("iN", "<4 x i32>")},
        // getelementptr
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), c32(0)}}, "ok"},
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), c32(1)}}, "ok"},
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), c32(2)}}, "index 2 of `{i32, fp64}` max 2"},
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), reg(0)}}, mismatch("constant integer", "%0")},
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), int_imm(64, 4294967296)}},
         mismatch("constant integer", text(int_imm(64, 4294967296)))},
        {MGetElementPtr{d, ptr, pair, reg(6), {c32(0), int_imm(64, -1)}},
         mismatch("constant integer", text(int_imm(64, -1)))},
        {MGetElementPtr{d, i32, pair, reg(6), {}}, mismatch("ptr", "i32")},
        {MGetElementPtr{d, ptr, pair, reg(0), {}}, mismatch("ptr", "i32")},
        {MGetElementPtr{d, ptr, pair, reg(6), {reg(4)}}, mismatch("iN", "%4")},
        {MGetElementPtr{d, ptr, i32, reg(6), {c32(0)}}, "ok"},  // the first index steps over the pointer
        {MGetElementPtr{d, ptr, i32, reg(6), {c32(0), c32(0)}}, mismatch("aggregate type", "i32")},
        {MGetElementPtr{d, ptr, arr3, reg(6), {reg(0), c32(7)}}, "ok"},  // array bounds are not checked here
        {MGetElementPtr{d, ptr, arr3, reg(6), {c32(0), c32(7), c32(0)}}, mismatch("aggregate type", "i8")},
        {MGetElementPtr{d, ptr, sv4i32, reg(6), {c32(0), reg(0)}}, "ok"},
        {MGetElementPtr{d, ptr, v4i32, reg(6), {c32(0), c32(1), c32(0)}}, mismatch("aggregate type", "i32")},
        // calls and data flow
        {Invoke{reg(6), {reg(0), reg(4)}, d, i8, std::nullopt}, "ok"},
        {Invoke{func_ptr(Uuid::new_v4()), {}, std::nullopt, std::nullopt, std::nullopt}, "ok"},
        {Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt}, mismatch("ptr", "i32")},
        {Phi{d, i32, {{reg(0), l(0)}, {c32(3), l(0)}}}, "ok"},
        {Phi{d, i32, {{reg(0), l(0)}, {reg(2), l(0)}}}, mismatch("i32", "i64")},
        {Select{d, reg(3), reg(0), reg(1), i32}, "ok"},
        {Select{d, reg(9), reg(7), reg(7), v4i32}, mismatch("i1", "<4 x i1>")},
        {Select{d, reg(3), reg(2), reg(0), i32}, mismatch("i32", "i64")},
        {Select{d, reg(3), reg(0), undef(f32), i32}, mismatch("i32", "fp32")},
        // aggregates
        {ExtractValue{d, f64, reg(11), {1}}, "ok"},
        {ExtractValue{d, pair, reg(11), {}}, "ok"},
        {ExtractValue{d, i32, reg(11), {1}}, mismatch("fp64", "i32")},
        {ExtractValue{d, f64, reg(11), {2}}, "index 2 of `{i32, fp64}` max 2"},
        {ExtractValue{d, i8, reg(12), {2}}, "ok"},
        {ExtractValue{d, i8, reg(12), {3}}, "index 3 of `[ 3 x i8 ]` max 3"},
        {ExtractValue{d, i32, reg(7), {3}}, "ok"},
        {ExtractValue{d, i32, reg(7), {4}}, "index 4 of `<4 x i32>` max 4"},
        {ExtractValue{d, i32, reg(13), {0}}, mismatch("aggregate type", "<vscale 4 x i32>")},
        {ExtractValue{d, i32, reg(0), {0}}, mismatch("aggregate type", "i32")},
        {InsertValue{d, pair, reg(11), reg(5), {1}}, "ok"},
        {InsertValue{d, pair, reg(12), reg(5), {1}}, mismatch("{i32, fp64}", "[ 3 x i8 ]")},
        {InsertValue{d, pair, reg(11), reg(0), {1}}, mismatch("fp64", "i32")},
        {InsertValue{d, pair, reg(11), reg(0), {5}}, "index 5 of `{i32, fp64}` max 2"},
        // meta-instructions
        {MetaAssert{reg(3)}, "ok"},
        {MetaAssert{reg(0)}, mismatch("i1", "i32")},
        {MetaAssume{reg(9)}, mismatch("i1", "<4 x i1>")},
        {MetaIsDef{d, i1, reg(11)}, "ok"},
        {MetaIsDef{d, i32, reg(0)}, mismatch("i1", "i32")},
        {MetaProb{d, f64, {MetaProbVariant::ExpectedValue, reg(0)}}, "ok"},
        {MetaProb{d, f64, {MetaProbVariant::Variance, reg(4)}}, "ok"},
        {MetaProb{d, i32, {MetaProbVariant::Probability, reg(3)}}, mismatch("fp", "i32")},
        {MetaProb{d, f64, {MetaProbVariant::Probability, reg(6)}}, mismatch("fp or iN", "ptr")},
        {MetaProb{d, f64, {MetaProbVariant::Probability, reg(7)}}, mismatch("fp or iN", "<4 x i32>")},
        {MetaAnalysisStat{d, i1, ExecutionCount{}}, mismatch("iN (N >= 2)", "i1")},
        {MetaAnalysisStat{d, i2, ExecutionCount{}}, "ok"},
        {MetaAnalysisStat{d, f32, ExecutionCount{}}, mismatch("iN (N >= 2)", "fp32")},
        {MetaForall{d, pair}, "ok"},
    };
    for (const auto& [instr, expected] : cases)
        EXPECT_EQ(check(instr), expected) << instruction_debug_text(instr) << " / " << op_debug_name(instr.op());
}

TEST_F(CheckerTest, CastRules) {
    const Name d = r(kDest);
    using V = CastVariant;
    const Typeref x86 = t.fp(FType::X86Fp80);
    const std::vector<std::tuple<V, std::uint32_t, Typeref, std::string>> cases = {
        // {variant, source register, destination type, outcome}
        {V::Trunc, 0, i8, "ok"},
        {V::Trunc, 15, i8, mismatch("iN where N < 8", "i8")},
        {V::Trunc, 4, i8, mismatch("iN", "fp32")},
        {V::Trunc, 0, f32, mismatch("iN", "fp32")},
        {V::ZExt, 15, i32, "ok"},
        {V::ZExt, 0, i8, mismatch("iN where N > 32", "i8")},
        {V::SExt, 0, i32, mismatch("iN where N > 32", "i32")},
        {V::FpTrunc, 5, f32, "ok"},
        {V::FpTrunc, 4, f64, mismatch("one of fp16, bf16", "fp64")},
        {V::FpTrunc, 0, f16, mismatch("fp", "i32")},
        {V::FpExt, 4, f64, "ok"},
        {V::FpExt, 5, x86, "ok"},
        {V::FpExt, 5, f32, mismatch("one of fp128, x86_fp80, ppc_fp128", "fp32")},
        {V::FpExt, 4, i64, mismatch("fp", "i64")},
        {V::FpToUI, 4, i32, "ok"},
        {V::FpToSI, 0, i32, mismatch("fp", "i32")},
        {V::FpToUI, 4, f32, mismatch("iN", "fp32")},
        {V::UIToFp, 0, f32, "ok"},
        {V::SIToFp, 4, f32, mismatch("iN", "fp32")},
        {V::UIToFp, 0, i32, mismatch("fp", "i32")},
        {V::PtrToInt, 6, i64, "ok"},
        {V::PtrToInt, 0, i64, mismatch("ptr", "i32")},
        {V::PtrToInt, 6, ptr, mismatch("iN", "ptr")},
        {V::IntToPtr, 2, ptr, "ok"},
        {V::IntToPtr, 2, i64, mismatch("ptr", "i64")},
        {V::Bitcast, 5, i64, "ok"},
        {V::Bitcast, 5, i32, mismatch("type of size 64", "i32")},
        {V::Bitcast, 6, i64, mismatch("iN or fp or <K x iN> or <K x fp>", "ptr")},
        {V::Bitcast, 0, ptr, mismatch("iN or fp or <K x iN> or <K x fp>", "ptr")},
        {V::Bitcast, 11, i64, mismatch("iN or fp or <K x iN> or <K x fp>", "{i32, fp64}")},
        {V::Bitcast, 7, v4f32, "ok"},
        // shape: both scalars or both vectors of the same size; elements are tested
        {V::Trunc, 7, v4i8, "ok"},
        {V::ZExt, 0, v4i32, mismatch("<4 x T>", "i32")},
        {V::Trunc, 7, i8, mismatch("T", "<4 x i32>")},
        {V::ZExt, 7, v8i32, mismatch("<8 x T>", "<4 x i32>")},
        {V::Trunc, 13, v4i8, mismatch("<4 x T>", "<vscale 4 x i32>")},
        {V::ZExt, 7, v4i8, mismatch("iN where N > 32", "<4 x i8>")},
        // wildcards: nothing to compare
        {V::ZExt, 14, i8, "ok"},
        {V::Bitcast, 0, wild, "ok"},
        {V::FpExt, 16, v4i8, "ok"},
    };
    for (const auto& [variant, source, to, expected] : cases)
        EXPECT_EQ(check(Cast{d, to, reg(source), variant}), expected)
            << enum_text(variant) << " from %" << source << " to " << registry.type_text(to);
}

TEST_F(CheckerTest, TerminatorRules) {
    EXPECT_EQ(check_terminator(Ret{}, i32), mismatch("i32", "void"));
    EXPECT_EQ(check_terminator(Ret{reg(2)}, i32), mismatch("i32", "i64"));
    EXPECT_EQ(check_terminator(Ret{reg(0)}, i32), "ok");
    EXPECT_EQ(check_terminator(Ret{reg(0)}, std::nullopt), mismatch("void", "i32"));
    EXPECT_EQ(check_terminator(Ret{reg(99)}, std::nullopt),
              "A operand refers to an undefined name: `%99`. This name was never defined in the module.");
    EXPECT_EQ(check_terminator(Ret{}, std::nullopt), "ok");
    EXPECT_EQ(check_terminator(Branch{reg(3), l(0), l(0)}, std::nullopt), "ok");
    EXPECT_EQ(check_terminator(Branch{reg(0), l(0), l(0)}, std::nullopt), mismatch("i1", "i32"));
    EXPECT_EQ(check_terminator(Branch{reg(9), l(0), l(0)}, std::nullopt), mismatch("i1", "<4 x i1>"));
    EXPECT_EQ(check_terminator(Jump{l(0)}, std::nullopt), "ok");
    EXPECT_EQ(check_terminator(Trap{}, i32), "ok");
    // A wildcard return type takes any value, but a missing value is still a mismatch.
    EXPECT_EQ(check_terminator(Ret{reg(0)}, wild), "ok");
    EXPECT_EQ(check_terminator(Ret{}, wild), mismatch("A", "void"));
}

TEST_F(CheckerTest, WildcardsMatchAnyRequirement) {
    const Name d = r(kDest);
    const Typeref wild_struct = t.strct({wild});
    for (const NkInstr& instr : std::vector<NkInstr>{
             IAdd{d, wild, reg(0), reg(4)},       // a wildcard result admits any operands
             IAdd{d, i32, reg(14), reg(0)},       // a wildcard operand matches i32
             FAdd{d, f32, undef(wild), reg(4)},   // so does an undef of wildcard type
             ICmp{d, v4i1, reg(16), reg(16)},     // <4 x A> is a vector of integers
             ICmp{d, wild, reg(0), reg(0)},       // i1 or a vector of it
             FCmp{d, i1, reg(14), reg(4)},        // the concrete side is still tested
             MLoad{d, i32, reg(14), std::nullopt, std::nullopt, false},
             MGetElementPtr{d, wild, wild, reg(14), {int_imm(8, 0), reg(0), reg(0)}},
             ExtractValue{d, i32, reg(14), {7, 7}},
             ExtractValue{d, i32, undef(wild_struct), {0, 3}},  // the walk stops at the wildcard field
             InsertValue{d, wild_struct, undef(wild_struct), reg(11), {0}},
             Select{d, reg(14), reg(0), reg(1), i32},
             MetaAnalysisStat{d, wild, ExecutionCount{}},
         })
        EXPECT_EQ(check(instr), "ok") << instruction_debug_text(instr);
    // The concrete operand beside a wildcard is still held to the rule.
    EXPECT_EQ(check(FCmp{d, i1, reg(14), reg(0)}), mismatch("fp", "i32"));
}

TEST_F(CheckerTest, UnregisteredReferencesAreReportedNotFatal) {
    const Name d = r(kDest);
    Typeref stray;
    stray.uuid = Uuid::new_v4();
    const std::string unknown = "<unknown type " + stray.uuid.to_string() + ">";
    EXPECT_EQ(check(IAdd{d, stray, reg(0), reg(0)}), mismatch("iN or <N x iN>", unknown));
    EXPECT_EQ(check(ExtractValue{d, i32, undef(stray), {0}}), mismatch("aggregate type", unknown));
    EXPECT_EQ(check(Cast{d, i32, undef(stray), CastVariant::ZExt}), mismatch("T", unknown));
    EXPECT_EQ(check(MLoad{d, i32, undef(stray), std::nullopt, std::nullopt, false}), mismatch("ptr", unknown));
    // An invoke that keeps a result without its type poisons the register, not the process.
    Function f = function({{r(0), ptr}}, {block(0, {Invoke{reg(0), {}, r(1), std::nullopt, std::nullopt},
                                                    IAdd{r(2), i32, reg(1), reg(1)}})});
    auto s = f.type_check(registry);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().get_if<errors::TypeMismatch>(), nullptr);
}

TEST_F(CheckerTest, EnvironmentRules) {
    // A destination repeating a parameter.
    Function dup = function({{r(0), i32}}, {block(0, {IAdd{r(0), i32, reg(0), reg(0)}})});
    auto s = dup.type_check(registry);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(),
              "Multiple operations with shared destination target violate SSA requirements. The name `%0` is "
              "defined more than once within the same function.");

    // A repeated parameter keeps its last type.
    Function repeated = function({{r(0), i32}, {r(0), i64}}, {block(0, {IAdd{r(1), i64, reg(0), reg(0)}})});
    EXPECT_TRUE(repeated.type_check(registry).ok());

    // A use before its definition (by block order) is typed from the definition.
    Function later = function({}, {block(0, {IAdd{r(1), i8, reg(2), reg(2)}}, Jump{l(1)}),
                                    block(1, {IAdd{r(2), i8, int_imm(8, 1), int_imm(8, 1)}})});
    EXPECT_TRUE(later.type_check(registry).ok());
}

TEST_F(CheckerTest, InstructionsAreCheckedBeforeAnyTerminator) {
    Function f = function({{r(0), i32}}, {block(0, {}, Branch{reg(0), l(1), l(1)}),
                                          block(1, {INeg{r(1), i32, reg(3)}}, Ret{})});
    auto s = f.type_check(registry);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().get_if<errors::UndefinedName>(), nullptr);
}

TEST_F(CheckerTest, OnlyConstantAndElementTypesAreInterned) {
    TypeRegistry fresh;
    Types ft{fresh};
    const Typeref fi32 = ft.i(32);
    Function f = function({}, {block(0, {ExtractValue{r(0), fi32, undef(ft.vec(IType{32}, 4)), {1}},
                                         IAdd{r(1), fi32, reg(0), int_imm(32, 7)},
                                         MStore{func_ptr(Uuid::new_v4()), int_imm(5, 0), std::nullopt, std::nullopt, false}})});
    const Function copy = f;
    ASSERT_EQ(fresh.len(), 2u);
    EXPECT_TRUE(f.type_check(fresh).ok());
    // ptr for the function pointer address; the stored i5 value is not examined.
    EXPECT_EQ(fresh.len(), 3u);
    EXPECT_EQ(f, copy);
}

TEST_F(CheckerTest, DeepAggregateWalks) {
    // 50,000 nested single-field structs around an array of vectors: the walks
    // and the printed types must not depend on the stack.
    constexpr std::size_t kDepth = 50000;
    Typeref inner = t.array(v4i32, 2);
    for (std::size_t k = 0; k < kDepth; ++k) inner = t.strct({inner});
    std::vector<std::uint32_t> path(kDepth, 0);
    path.push_back(1);  // array element
    path.push_back(3);  // vector lane

    Function ok = function({{r(0), inner}}, {block(0, {ExtractValue{r(1), i32, reg(0), path}})});
    EXPECT_TRUE(ok.type_check(registry).ok());

    path.back() = 4;  // one lane too far, at the bottom
    Function bad = function({{r(0), inner}}, {block(0, {ExtractValue{r(1), i32, reg(0), path}})});
    auto s = bad.type_check(registry);
    ASSERT_FALSE(s.ok());
    const auto* e = s.error().get_if<errors::IndexOutOfBounds>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->index, 4u);
    EXPECT_EQ(e->ty, "<4 x i32>");
    EXPECT_EQ(e->max, 4u);

    path.back() = 3;
    path[kDepth - 1] = 1;  // the innermost struct has one field
    Function bad_field = function({{r(0), inner}}, {block(0, {ExtractValue{r(1), i32, reg(0), path}})});
    auto s2 = bad_field.type_check(registry);
    ASSERT_FALSE(s2.ok());
    const auto* e2 = s2.error().get_if<errors::IndexOutOfBounds>();
    ASSERT_NE(e2, nullptr);
    EXPECT_EQ(e2->ty, "{[ 2 x <4 x i32> ]}");

    // getelementptr down the same chain: constant zeros through every struct.
    std::vector<Operand> indices(kDepth + 3, int_imm(32, 0));
    Function gep = function({{r(0), ptr}}, {block(0, {MGetElementPtr{r(1), ptr, inner, reg(0), indices}})});
    EXPECT_TRUE(gep.type_check(registry).ok());
    indices.push_back(int_imm(32, 0));  // one step below i32
    Function gep_bad = function({{r(0), ptr}}, {block(0, {MGetElementPtr{r(1), ptr, inner, reg(0), indices}})});
    auto s3 = gep_bad.type_check(registry);
    ASSERT_FALSE(s3.ok());
    EXPECT_EQ(s3.error().get_if<errors::TypeMismatch>()->found, "i32");
}

TEST_F(CheckerTest, MessagesShowInstructionsInAssemblyForm) {
    const Name d = r(kDest);
    auto message = [&](Function f) {
        auto s = f.type_check(registry);
        return s.ok() ? std::string("ok") : s.error().message();
    };
    EXPECT_EQ(message(function(params(), {block(0, {IAdd{d, i32, reg(0), int_imm(64, 5)}})})),
              "Type mismatch in instruction `%100: i32 = iadd.wrap  %0, i64 5`: expected type `i32`, but found type "
              "`i64`.");
    EXPECT_EQ(message(function(params(), {block(0, {ICmp{r(30), v4i1, reg(8), reg(8)}})})),
              "Type mismatch in instruction `%30: <4 x i1> = icmp.eq  %8, %8`: expected type `<4 x iN>`, but found "
              "type `<8 x i32>`.");
    EXPECT_EQ(message(function(params(), {block(0, {MGetElementPtr{d, ptr, pair, reg(6),
                                                                   {int_imm(32, 0), int_imm(32, 2)}}})})),
              "The provided index `2` is out of bounds for type `{i32, fp64}` with maximum index `2` in instruction "
              "`%100: ptr = getelementptr {i32, fp64},  %6, i32 0, i32 2`.");
    EXPECT_EQ(message(function(params(), {block(0, {MGetElementPtr{d, ptr, pair, reg(6),
                                                                   {int_imm(32, 0), int_imm(64, 4294967296)}}})})),
              "Type mismatch in instruction `%100: ptr = getelementptr {i32, fp64},  %6, i32 0, i64 4294967296`: "
              "expected type `constant integer`, but found type `i64 4294967296`.");
    EXPECT_EQ(message(function(params(), {block(0, {ExtractValue{d, i32, reg(13), {0}}})})),
              "Type mismatch in instruction `%100: i32 = extractvalue %13, i32 0`: expected type `aggregate type`, but "
              "found type `<vscale 4 x i32>`.");
    EXPECT_EQ(message(function(params(), {block(0, {Cast{d, f32, reg(5), CastVariant::FpExt}})})),
              "Type mismatch in instruction `%100: fp32 = cast %5`: expected type `one of fp128, x86_fp80, "
              "ppc_fp128`, but found type `fp32`.");
    Function ret = function(params(), {block(0, {}, Ret{})});
    ret.return_type = i32;
    EXPECT_EQ(message(ret), "Type mismatch in instruction `ret void`: expected type `i32`, but found type `void`.");
    Function branch = function(params(), {block(0, {}, Branch{reg(0), l(1), l(2)})});
    EXPECT_EQ(message(branch),
              "Type mismatch in instruction `branch %0, block_1, block_2`: expected type `i1`, but found type `i32`.");
}
