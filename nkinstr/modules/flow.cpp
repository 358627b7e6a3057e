// The control-flow graph between basic blocks, and the analysis bundle kept
// for every loaded function.

#include "nkinstr/modules/flow.hpp"

namespace nkinstr {

void FlowGraph::reserve(std::size_t nodes, std::size_t edges) {
    nodes_.reserve(nodes);
    node_index_.reserve(nodes);
    edges_.reserve(edges);
    edge_index_.reserve(edges);
}

std::size_t FlowGraph::add_node(Label label) {
    auto [it, inserted] = node_index_.try_emplace(label.id, nodes_.size());
    if (inserted) nodes_.push_back(label);
    return it->second;
}

void FlowGraph::add_edge(Label from, Label to, std::optional<Operand> operand) {
    add_node(from);
    add_node(to);
    auto [it, inserted] = edge_index_.try_emplace(key(from, to), edges_.size());
    if (inserted) {
        edges_.push_back(Edge{from, to, std::move(operand)});
    } else {
        edges_[it->second].operand = std::move(operand);
    }
}

const FlowGraph::Edge* FlowGraph::find_edge(Label from, Label to) const {
    auto it = edge_index_.find(key(from, to));
    return it == edge_index_.end() ? nullptr : &edges_[it->second];
}

FlowGraph Function::derive_function_flow() const {
    FlowGraph graph;
    graph.reserve(body.size(), 3 * body.size());
    for (const auto& [label, block] : body) graph.add_node(label);
    for (const auto& [label, block] : body) {
        if (const auto* jump = std::get_if<Jump>(&block.terminator.v)) {
            graph.add_edge(label, jump->target, std::nullopt);
        } else if (const auto* branch = std::get_if<Branch>(&block.terminator.v)) {
            graph.add_edge(label, branch->target_true, branch->cond);
            // Same target twice: this replaces the edge above, leaving no operand.
            graph.add_edge(label, branch->target_false, std::nullopt);
        }
    }
    return graph;
}

FunctionAnalysis analyze(std::shared_ptr<const Function> function) {
    FunctionAnalysis analysis;
    if (!function) return analysis;
    analysis.flow = function->derive_function_flow();
    analysis.dest_map = function->derive_dest_map();
    analysis.function = std::move(function);
    return analysis;
}

}  // namespace nkinstr
