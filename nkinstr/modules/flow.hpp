#pragma once
// The control-flow graph between basic blocks and the per-function analysis
// kept for every loaded function.

#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "nkinstr/modules/function.hpp"

namespace nkinstr {

// Directed graph keyed by labels: nodes in insertion order, at most one edge
// per ordered pair (adding it again replaces its operand), edges to unknown
// nodes add them.
class FlowGraph {
public:
    struct Edge {
        Label from;
        Label to;
        std::optional<Operand> operand;
        friend bool operator==(const Edge&, const Edge&) = default;
    };

    void reserve(std::size_t nodes, std::size_t edges);
    // Adds the node if missing; returns its position.
    std::size_t add_node(Label label);
    void add_edge(Label from, Label to, std::optional<Operand> operand);

    const std::vector<Label>& nodes() const { return nodes_; }
    // Edges in first-insertion order.
    const std::vector<Edge>& edges() const { return edges_; }
    const Edge* find_edge(Label from, Label to) const;
    bool contains(Label label) const { return node_index_.count(label.id) != 0; }

private:
    static std::uint64_t key(Label from, Label to) { return (std::uint64_t(from.id) << 32) | to.id; }
    std::vector<Label> nodes_;
    std::unordered_map<std::uint32_t, std::size_t> node_index_;
    std::vector<Edge> edges_;
    std::unordered_map<std::uint64_t, std::size_t> edge_index_;
};

struct FunctionAnalysis {
    FlowGraph flow;
    std::shared_ptr<const Function> function;
    DestMap dest_map;
};

FunctionAnalysis analyze(std::shared_ptr<const Function> function);

}  // namespace nkinstr
