#include <gtest/gtest.h>

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

namespace {

// A store of two undefined values: no destination, no register read.
NkInstr plain_store(Typeref t) { return MStore{undef(t), undef(t), std::nullopt, std::nullopt, false}; }

NkInstr add(std::uint32_t dest, Typeref t, Operand a, Operand b) { return IAdd{r(dest), t, std::move(a), std::move(b)}; }

std::string message_of(const Status& s) { return s.ok() ? "ok" : s.error().message(); }

}  // namespace

class VerifyTest : public ::testing::Test {
protected:
    TypeRegistry registry;
    Types t{registry};
    Typeref i32 = t.i(32);
};

TEST_F(VerifyTest, WellFormedFunctionPasses) {
    Function f = function({{r(0), i32}},
                          {block(0, {add(1, i32, reg(0), reg(0))}, Branch{reg(1), l(1), l(2)}),
                           block(1, {}, Jump{l(2)}), block(2, {}, Ret{reg(1)})});
    EXPECT_TRUE(f.verify().ok()) << message_of(f.verify());
}

TEST_F(VerifyTest, WildcardTypesMustMatchTheDeclaredSet) {
    Function f = function({{r(0), Typeref::wildcard(0)}}, {block(0, {})});
    f.meta_function = true;
    f.wildcard_types = {0};
    EXPECT_TRUE(f.verify().ok());

    f.wildcard_types = {0, 1};
    auto s = f.verify();
    ASSERT_FALSE(s.ok());
    const auto* e = s.error().get_if<errors::UnsoundWildcardTypes>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->expected, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(e->found, (std::vector<std::string>{"A"}));
    EXPECT_EQ(s.error().message(),
              "Unsound wildcard type usage in function `f`: expected wildcard types `[\"A\", \"B\"]`, but found "
              "`[\"A\"]`.");
}

TEST_F(VerifyTest, WildcardSetComesFromParametersAndReferencedTypesOnly) {
    // in_ty of getelementptr counts; the return type and undef operand types do not.
    Function f = function({{r(0), t.ptr()}},
                          {block(0,
                                 {MGetElementPtr{r(1), t.ptr(), Typeref::wildcard(300), reg(0), {}},
                                  IAdd{r(2), Typeref::wildcard(26), undef(Typeref::wildcard(7)), undef(i32)}})});
    f.return_type = Typeref::wildcard(25);
    f.meta_function = true;
    EXPECT_EQ(f.generate_wildcard_types(), (std::set<std::uint16_t>{26, 300}));

    f.wildcard_types = {25, 26, 300};
    auto s = f.verify();
    ASSERT_FALSE(s.ok());
    const auto* e = s.error().get_if<errors::UnsoundWildcardTypes>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->expected, (std::vector<std::string>{"Z", "_26", "_300"}));
    EXPECT_EQ(e->found, (std::vector<std::string>{"_26", "_300"}));
}

TEST_F(VerifyTest, ShouldBeMetaFunction) {
    EXPECT_FALSE(Function::make_default().should_be_meta_function());
    Function wildcard_param = function({{r(0), Typeref::wildcard(3)}}, {block(0, {})});
    EXPECT_TRUE(wildcard_param.should_be_meta_function());
    Function with_forall = function({}, {block(0, {MetaForall{r(0), i32}})});
    EXPECT_TRUE(with_forall.should_be_meta_function());
    Function empty_body = function({}, {});
    EXPECT_FALSE(empty_body.should_be_meta_function());
}

TEST_F(VerifyTest, MetaInstructionInRegularFunctionComesBeforeLabels) {
    const NkInstr assert_instr = MetaAssert{int_imm(1, 1)};
    Function f = function({}, {block(0, {plain_store(i32), assert_instr}, Jump{l(9)})});
    auto s = f.verify();
    ASSERT_FALSE(s.ok());
    const auto* e = s.error().get_if<errors::MetaInstructionNotAllowed>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->function, "f");
    EXPECT_EQ(e->instruction, instruction_debug_text(assert_instr));

    Function g = function({{r(0), t.i(1)}}, {block(0, {MetaAssume{reg(0)}})});
    EXPECT_EQ(message_of(g.verify()),
              "Meta instructions are only available internally for properties and attributes constructions. They "
              "SHOULD NOT appear in regular instructions. Function `f` contains a meta-instruction "
              "`MetaAssume(MetaAssume { condition: Reg(Name(0)) })`.");

    f.meta_function = true;  // a meta-function may hold it; the label is next
    ASSERT_FALSE(f.verify().ok());
    EXPECT_NE(f.verify().error().get_if<errors::UndefinedLabel>(), nullptr);
}

TEST_F(VerifyTest, PhisMustOpenTheirBlock) {
    auto phi = [&](std::uint32_t dest) { return NkInstr{Phi{r(dest), i32, {{int_imm(32, 1), l(0)}}}}; };
    Function ok = function({}, {block(0, {phi(0), phi(1), add(2, i32, reg(0), reg(1))})});
    EXPECT_TRUE(ok.verify().ok()) << message_of(ok.verify());

    Function bad = function({}, {block(0, {}, Jump{l(4)}), block(4, {phi(0), add(1, i32, reg(0), reg(0)), phi(2)})});
    auto s = bad.verify();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(),
              "Phi instructions must be the first instructions in a basic block or follow other phi instructions. "
              "The basic block `block_4` contains a phi instruction that is not the first instruction.");
}

TEST_F(VerifyTest, UndefinedBranchTargetReportsTrueTargetFirstAndUuidWhenUnnamed) {
    Function f = function({{r(0), t.i(1)}}, {block(0, {}, Branch{reg(0), l(7), l(8)})});
    f.name.reset();
    auto s = f.verify();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(), "The basic block `block_7` referenced in function `" + f.uuid.to_string() +
                                       "` is not defined within the function.");
}

TEST_F(VerifyTest, PhiLabelsAreNotExaminedByVerification) {
    Function f = function({}, {block(0, {Phi{r(0), i32, {{int_imm(32, 1), l(42)}}}})});
    EXPECT_TRUE(f.verify().ok());
}

TEST_F(VerifyTest, DefinitionRules) {
    struct Case {
        const char* what;
        Function f;
        std::string expected;
    };
    std::vector<Case> cases;
    cases.push_back({"parameter redefined by an instruction",
                     function({{r(0), i32}}, {block(0, {add(0, i32, reg(0), reg(0))})}),
                     "Multiple operations with shared destination target violate SSA requirements. The name `%0` is "
                     "defined more than once within the same function."});
    cases.push_back({"two parameters with one name", function({{r(3), i32}, {r(3), i32}}, {block(0, {})}),
                     "Multiple operations with shared destination target violate SSA requirements. The name `%3` is "
                     "defined more than once within the same function."});
    cases.push_back({"read of an undefined register",
                     function({}, {block(0, {add(0, i32, reg(0), reg(7))})}),
                     "A operand refers to an undefined name: `%7`. This name was never defined in the module."});
    cases.push_back({"terminator reads an undefined register", function({}, {block(0, {}, Ret{reg(5)})}),
                     "A operand refers to an undefined name: `%5`. This name was never defined in the module."});
    cases.push_back({"instructions of a block are checked before its terminator",
                     function({}, {block(0, {add(0, i32, reg(9), reg(9))}, Ret{reg(5)})}),
                     "A operand refers to an undefined name: `%9`. This name was never defined in the module."});
    cases.push_back({"use in an earlier block than the definition passes",
                     function({}, {block(0, {add(0, i32, reg(1), reg(1))}, Jump{l(1)}),
                                   block(1, {add(1, i32, int_imm(32, 1), int_imm(32, 2))})}),
                     "ok"});
    cases.push_back({"huge register numbers are fine",
                     function({{r(4000000000u), i32}}, {block(0, {add(7, i32, reg(4000000000u), reg(7))})}),
                     "ok"});
    for (const auto& c : cases) EXPECT_EQ(message_of(c.f.verify()), c.expected) << c.what;
}

TEST_F(VerifyTest, MissingEntryBlockIsTheLastRule) {
    Function f = function({}, {block(1, {})});
    EXPECT_EQ(message_of(f.verify()),
              "By convention, the entrypoint basic block of a function must have label `label_0`. No such basic "
              "block was found.");
    Function undefined_too = function({}, {block(1, {}, Ret{reg(0)})});
    EXPECT_NE(undefined_too.verify().error().get_if<errors::UndefinedName>(), nullptr);
}

// ---- limits: a count equal to the limit passes, one more fails ----

TEST_F(VerifyTest, BasicBlockLimit) {
    Function f = function({}, {});
    for (std::uint32_t i = 0; i < Function::kMaxBasicBlocks; ++i) f.body.emplace(l(i), block(i, {}));
    EXPECT_TRUE(f.verify().ok());
    f.body.emplace(l(70000), block(70000, {}));
    EXPECT_EQ(message_of(f.verify()), "Function `f` contains 65537 basic blocks, exceeding the maximum allowed of 65536.");
}

TEST_F(VerifyTest, InstructionLimits) {
    const NkInstr store = plain_store(i32);
    Function f = function({}, {block(0, std::vector<NkInstr>(Function::kMaxBlockInstructions, store))});
    EXPECT_TRUE(f.verify().ok());

    f.body.emplace(l(3), block(3, std::vector<NkInstr>(Function::kMaxBlockInstructions + 1, store)));
    EXPECT_EQ(message_of(f.verify()),
              "Basic block `block_3` in function `f` contains 65537 instructions, exceeding the maximum allowed of "
              "65536.");

    // Exactly one million over 16 blocks passes; 16 full blocks do not.
    f.body.clear();
    for (std::uint32_t b = 0; b < 16; ++b) f.body.emplace(l(b), block(b, std::vector<NkInstr>(62500, store)));
    EXPECT_TRUE(f.verify().ok());
    for (auto& [label, blk] : f.body) blk.instructions.resize(Function::kMaxBlockInstructions, store);
    EXPECT_EQ(message_of(f.verify()),
              "Function `f` contains 1048576 instructions, exceeding the maximum allowed of 1000000.");
}

TEST_F(VerifyTest, ParameterAndWildcardLimits) {
    Function f = function({}, {block(0, {})});
    for (std::uint32_t i = 0; i < Function::kMaxParameters; ++i) f.params.emplace_back(r(i), i32);
    EXPECT_TRUE(f.verify().ok());
    f.params.emplace_back(r(Function::kMaxParameters), i32);
    EXPECT_EQ(message_of(f.verify()),
              "Function `f` contains 4097 parameters, exceeding the maximum allowed of 4096.");

    Function g = function({}, {block(0, {})});
    g.meta_function = true;
    for (std::uint16_t i = 0; i < Function::kMaxWildcardTypes; ++i) {
        g.params.emplace_back(r(i), Typeref::wildcard(i));
        g.wildcard_types.insert(i);
    }
    EXPECT_TRUE(g.verify().ok());
    g.params.emplace_back(r(256), Typeref::wildcard(256));
    g.wildcard_types.insert(256);
    EXPECT_EQ(message_of(g.verify()),
              "Function `f` contains 257 wildcard types, exceeding the maximum allowed of 256.");
}

TEST_F(VerifyTest, VerificationLeavesTheFunctionUnchanged) {
    Function f = function({{r(5), i32}}, {block(0, {add(9, i32, reg(5), reg(5))}, Ret{reg(9)})});
    const Function before = f;
    EXPECT_TRUE(f.verify().ok());
    EXPECT_EQ(f, before);
}
