#pragma once
// Functions and their basic blocks.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "nkinstr/modules/instruction.hpp"
#include "nkinstr/modules/symbols.hpp"
#include "nkinstr/modules/terminator.hpp"
#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/error.hpp"

namespace nkinstr {

struct BasicBlock {
    Label label;
    std::vector<NkInstr> instructions;  // phis first
    NkTerminator terminator;
    friend bool operator==(const BasicBlock&, const BasicBlock&) = default;
};

// Where a register is defined: the block and the position in its instructions.
struct DefinitionSite {
    Label block;
    std::size_t position = 0;
    friend bool operator==(const DefinitionSite&, const DefinitionSite&) = default;
};
using DestMap = std::map<Name, DefinitionSite>;

class FlowGraph;

struct Function {
    // Size limits: a count equal to the limit passes, one more fails.
    static constexpr std::size_t kMaxBasicBlocks = 65536;
    static constexpr std::size_t kMaxBlockInstructions = 65536;
    static constexpr std::size_t kMaxInstructions = 1000000;
    static constexpr std::size_t kMaxParameters = 4096;
    static constexpr std::size_t kMaxWildcardTypes = 256;

    Uuid uuid;
    std::optional<std::string> name;
    std::vector<std::pair<Name, Typeref>> params;
    std::optional<Typeref> return_type;
    std::map<Label, BasicBlock> body;
    std::optional<Visibility> visibility;
    std::optional<CallingConvention> cconv;
    std::set<std::uint16_t> wildcard_types;
    bool meta_function = false;
    std::optional<Uuid> link_uuid;

    // A fresh random v4 UUID, no name, one block 0 ending in Trap.
    static Function make_default();

    // The name, or the UUID in canonical form when there is none (IR messages).
    std::string display_name() const;

    // ---- verification (first failing rule wins) ----
    Status verify() const;
    // The wildcard indices used by parameter types and referenced instruction types.
    std::set<std::uint16_t> generate_wildcard_types() const;
    // Some instruction is a meta-instruction, or some wildcard type is used.
    bool should_be_meta_function() const;

    // ---- SSA ----
    // Renumbers registers densely (parameters, then destinations in block
    // order) and rewrites every use. A register read that names no parameter
    // and no destination is reported as UndefinedName; the function is then
    // left unchanged.
    Status normalize_ssa();
    DestMap derive_dest_map() const;
    FlowGraph derive_function_flow() const;

    // ---- types ----
    Status type_check(TypeRegistry& registry) const;
    void remap_types(const TypeMap& map);

    friend bool operator==(const Function&, const Function&) = default;
};

struct ExternalFunction {
    Uuid uuid;
    std::string name;
    CallingConvention cconv;
    std::vector<Typeref> param_types;
    std::optional<Typeref> return_type;

    void remap_types(const TypeMap& map);
    friend bool operator==(const ExternalFunction&, const ExternalFunction&) = default;
};

}  // namespace nkinstr
