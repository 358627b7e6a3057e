#include <gtest/gtest.h>

#include "nkinstr/modules/flow.hpp"
#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

TEST(FlowGraph, NodesKeepInsertionOrderAndEdgesAreUniquePerPair) {
    FlowGraph g;
    EXPECT_EQ(g.add_node(l(5)), 0u);
    EXPECT_EQ(g.add_node(l(2)), 1u);
    EXPECT_EQ(g.add_node(l(5)), 0u);
    g.add_edge(l(5), l(9), reg(1));  // 9 becomes a node
    g.add_edge(l(2), l(5), std::nullopt);
    g.add_edge(l(5), l(9), std::nullopt);  // replaces the operand, keeps the position
    EXPECT_EQ(g.nodes(), (std::vector<Label>{l(5), l(2), l(9)}));
    ASSERT_EQ(g.edges().size(), 2u);
    EXPECT_EQ(g.edges()[0], (FlowGraph::Edge{l(5), l(9), std::nullopt}));
    EXPECT_EQ(g.edges()[1], (FlowGraph::Edge{l(2), l(5), std::nullopt}));
    EXPECT_TRUE(g.contains(l(9)));
    EXPECT_EQ(g.find_edge(l(9), l(5)), nullptr);
    ASSERT_NE(g.find_edge(l(2), l(5)), nullptr);
}

TEST(FlowGraph, DerivedFromTerminators) {
    TypeRegistry registry;
    Types t{registry};
    Function f = function({{r(0), t.i(1)}}, {block(0, {}, Branch{reg(0), l(1), l(2)}), block(1, {}, Jump{l(7)}),
                                             block(2, {}, Branch{reg(0), l(5), l(5)}), block(5, {}, Trap{})});
    const FlowGraph g = f.derive_function_flow();
    // Blocks first in label order, then the unknown jump target.
    EXPECT_EQ(g.nodes(), (std::vector<Label>{l(0), l(1), l(2), l(5), l(7)}));
    const std::vector<FlowGraph::Edge> expected{
        {l(0), l(1), reg(0)},
        {l(0), l(2), std::nullopt},
        {l(1), l(7), std::nullopt},
        {l(2), l(5), std::nullopt},  // both targets equal: the unlabelled edge replaced the labelled one
    };
    EXPECT_EQ(g.edges(), expected);
}

TEST(FlowGraph, AnalysisBundlesFlowFunctionAndDestinations) {
    TypeRegistry registry;
    Types t{registry};
    auto f = std::make_shared<const Function>(function({}, {block(0, {}, Ret{})}));
    const FunctionAnalysis a = analyze(f);
    EXPECT_EQ(a.function, f);
    EXPECT_EQ(a.flow.nodes(), (std::vector<Label>{l(0)}));
    EXPECT_TRUE(a.flow.edges().empty());
    EXPECT_TRUE(a.dest_map.empty());

    auto g = std::make_shared<const Function>(
        function({}, {block(0, {IAdd{r(0), t.i(8), int_imm(8, 1), int_imm(8, 2)}}, Jump{l(0)})}));
    const FunctionAnalysis b = analyze(g);
    EXPECT_EQ(b.flow.edges(), (std::vector<FlowGraph::Edge>{{l(0), l(0), std::nullopt}}));
    EXPECT_EQ(b.dest_map, (DestMap{{r(0), DefinitionSite{l(0), 0}}}));
}
