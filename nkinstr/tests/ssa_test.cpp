#include <gtest/gtest.h>

#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

namespace {

NkInstr add(std::uint32_t dest, Typeref t, Operand a, Operand b) { return IAdd{r(dest), t, std::move(a), std::move(b)}; }

}  // namespace

class SsaTest : public ::testing::Test {
protected:
    TypeRegistry registry;
    Types t{registry};
    Typeref i32 = t.i(32);
};

TEST_F(SsaTest, RenumbersParametersThenDestinationsAndRewritesEveryUse) {
    // Parameters %a=10, %b=20; block 0 defines %x=30 (used in block 1) and %y=40;
    // block 1 is visited first by label but defines nothing.
    Function f = function({{r(10), i32}, {r(20), i32}},
                          {block(0, {add(30, i32, reg(10), reg(20)), add(40, i32, reg(30), int_imm(32, 1))},
                                 Branch{reg(40), l(1), l(2)}),
                           block(1, {Phi{r(50), i32, {{reg(30), l(0)}, {reg(60), l(2)}}}}, Ret{reg(50)}),
                           block(2, {add(60, i32, reg(50), reg(10))}, Jump{l(1)})});
    ASSERT_TRUE(f.normalize_ssa().ok());

    Function expected = function({{r(0), i32}, {r(1), i32}},
                                 {block(0, {add(2, i32, reg(0), reg(1)), add(3, i32, reg(2), int_imm(32, 1))},
                                        Branch{reg(3), l(1), l(2)}),
                                  block(1, {Phi{r(4), i32, {{reg(2), l(0)}, {reg(5), l(2)}}}}, Ret{reg(4)}),
                                  block(2, {add(5, i32, reg(4), reg(0))}, Jump{l(1)})});
    expected.uuid = f.uuid;
    EXPECT_EQ(f, expected);
    EXPECT_TRUE(f.verify().ok());
}

TEST_F(SsaTest, RedefinitionGivesEachDefinitionANewNameAndUsesTheLast) {
    Function f = function({}, {block(0, {add(7, i32, int_imm(32, 1), int_imm(32, 2)),
                                         add(7, i32, int_imm(32, 3), int_imm(32, 4)), add(8, i32, reg(7), reg(7))},
                                     Ret{reg(7)})});
    ASSERT_TRUE(f.normalize_ssa().ok());
    const auto& instrs = f.body.at(l(0)).instructions;
    EXPECT_EQ(instrs[0].destination(), r(0));
    EXPECT_EQ(instrs[1].destination(), r(1));
    EXPECT_EQ(instrs[2], NkInstr(add(2, i32, reg(1), reg(1))));
    EXPECT_EQ(std::get<Ret>(f.body.at(l(0)).terminator.v).value, std::optional<Operand>(reg(1)));
    EXPECT_TRUE(f.verify().ok());
}

TEST_F(SsaTest, InvokeWithoutResultKeepsNoDestination) {
    Function f = function({{r(9), t.ptr()}},
                          {block(0, {Invoke{reg(9), {reg(9)}, std::nullopt, std::nullopt, std::nullopt},
                                     Invoke{reg(9), {}, r(4), i32, std::nullopt}},
                                 Ret{reg(4)})});
    ASSERT_TRUE(f.normalize_ssa().ok());
    const auto& instrs = f.body.at(l(0)).instructions;
    EXPECT_FALSE(instrs[0].destination().has_value());
    EXPECT_EQ(instrs[0], NkInstr(Invoke{reg(0), {reg(0)}, std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(instrs[1].destination(), r(1));
}

TEST_F(SsaTest, UndefinedReadIsReportedAndTheFunctionLeftUnchanged) {
    // %1 and %5 are read but never defined; keeping %1 would alias the
    // renumbered %4 (which becomes %1). Instruction reads come before the terminator's.
    Function f = function({{r(3), i32}}, {block(0, {add(4, i32, reg(3), reg(1))}, Ret{reg(5)})});
    const Function before = f;
    auto s = f.normalize_ssa();
    ASSERT_FALSE(s.ok());
    ASSERT_NE(s.error().get_if<errors::UndefinedName>(), nullptr);
    EXPECT_EQ(s.error().get_if<errors::UndefinedName>()->name, r(1));
    EXPECT_EQ(f, before);

    Function g = function({}, {block(0, {}, Branch{reg(2), l(0), l(0)})});
    auto s2 = g.normalize_ssa();
    ASSERT_FALSE(s2.ok());
    EXPECT_EQ(s2.error().get_if<errors::UndefinedName>()->name, r(2));
}

TEST_F(SsaTest, DestMapHoldsDefinitionSitesButNoParameters) {
    Function f = function({{r(0), i32}},
                          {block(0, {MStore{reg(0), reg(0), std::nullopt, std::nullopt, false}, add(1, i32, reg(0), reg(0))}, Jump{l(3)}),
                           block(3, {add(2, i32, reg(1), reg(1))})});
    DestMap expected{{r(1), DefinitionSite{l(0), 1}}, {r(2), DefinitionSite{l(3), 0}}};
    EXPECT_EQ(f.derive_dest_map(), expected);

    // Out-of-order and repeated names: the last definition wins.
    Function g = function({}, {block(0, {add(9, i32, int_imm(32, 1), int_imm(32, 1)),
                                         add(2, i32, int_imm(32, 1), int_imm(32, 1)),
                                         add(9, i32, int_imm(32, 1), int_imm(32, 1))})});
    DestMap expected_g{{r(2), DefinitionSite{l(0), 1}}, {r(9), DefinitionSite{l(0), 2}}};
    EXPECT_EQ(g.derive_dest_map(), expected_g);

    EXPECT_TRUE(function({}, {block(0, {}, Ret{})}).derive_dest_map().empty());
}
