#pragma once
// Analysis statistics stated by the !analysis meta-instruction.

#include <cstdint>
#include <variant>
#include <vector>

#include "nkinstr/modules/operand.hpp"

namespace nkinstr {

// A set of instruction classes; the word may hold any bits.
struct InstructionFlags {
    static constexpr std::uint32_t META = 0x1;
    static constexpr std::uint32_t SIMPLE = 0x2;
    static constexpr std::uint32_t ARITHMETIC = 0x40;
    static constexpr std::uint32_t ARITHMETIC_INT = 0xC0;
    static constexpr std::uint32_t ARITHMETIC_FP = 0x140;
    static constexpr std::uint32_t INVOKE = 0x200;
    static constexpr std::uint32_t MEMORY = 0x400;
    static constexpr std::uint32_t CONTROL_FLOW = 0x800;
    static constexpr std::uint32_t TERMINATOR = 0x1800;
    // The union of every named flag: what the text reader keeps of a written word.
    static constexpr std::uint32_t ALL_NAMED = 0x1FC3;

    std::uint32_t bits = 0;
    friend bool operator==(const InstructionFlags&, const InstructionFlags&) = default;
};

struct BlockExit {
    friend bool operator==(const BlockExit&, const BlockExit&) = default;
};
struct FunctionExit {
    friend bool operator==(const FunctionExit&, const FunctionExit&) = default;
};
struct ReachAny {
    std::vector<Label> labels;
    friend bool operator==(const ReachAny&, const ReachAny&) = default;
};
// Index = tag; texts "blockexit", "funcexit", "reach".
using TerminationScope = std::variant<BlockExit, FunctionExit, ReachAny>;

struct InstructionCount {
    InstructionFlags flags;
    friend bool operator==(const InstructionCount&, const InstructionCount&) = default;
};
struct ExecutionCount {
    friend bool operator==(const ExecutionCount&, const ExecutionCount&) = default;
};
struct TerminationBehavior {
    TerminationScope scope;
    friend bool operator==(const TerminationBehavior&, const TerminationBehavior&) = default;
};
// Index = tag = AnalysisStatisticOp: icnt, excnt, term.
using AnalysisStatistic = std::variant<InstructionCount, ExecutionCount, TerminationBehavior>;

}  // namespace nkinstr
