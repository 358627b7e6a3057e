// SSA normalisation (dense register renumbering) and the map from each
// register to the instruction that defines it.

#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/register_table.hpp"

namespace nkinstr {

namespace {

// Old name -> new name: parameters first, then destinations in block order.
// A name defined more than once maps to its last definition.
RegisterTable<Name> build_renaming(const Function& f) {
    auto mapping = make_register_table<Name>(f);
    std::uint32_t next = 0;
    for (const auto& p : f.params) mapping.insert_or_assign(p.first, Name{next++});
    for (const auto& [label, block] : f.body)
        for (const auto& instr : block.instructions)
            if (auto d = instr.destination()) mapping.insert_or_assign(*d, Name{next++});
    return mapping;
}

// The first register read (instructions, then the terminator, block by block)
// that the renaming does not cover.
std::optional<Name> first_unmapped_use(const Function& f, const RegisterTable<Name>& mapping) {
    std::optional<Name> missing;
    auto check = [&](const Operand& o) {
        if (const Name* n = as_reg(o); n && !missing && !mapping.contains(*n)) missing = *n;
    };
    for (const auto& [label, block] : f.body) {
        for (const auto& instr : block.instructions) instr.for_each_operand(check);
        block.terminator.for_each_operand(check);
        if (missing) return missing;
    }
    return std::nullopt;
}

}  // namespace

Status Function::normalize_ssa() {
    const auto mapping = build_renaming(*this);
    // A read of a name nobody defines has no new number; keeping the old one
    // could silently alias a renumbered register, so refuse before changing anything.
    if (auto missing = first_unmapped_use(*this, mapping)) return fail(errors::UndefinedName{*missing});

    std::uint32_t next = 0;
    for (auto& p : params) p.first = Name{next++};
    for (auto& [label, block] : body)
        for (auto& instr : block.instructions)
            if (Name* d = instr.destination_mut()) *d = Name{next++};

    auto rename = [&](Operand& o) {
        if (Name* n = as_reg(o)) *n = *mapping.find(*n);
    };
    for (auto& [label, block] : body) {
        for (auto& instr : block.instructions) instr.for_each_operand_mut(rename);
        block.terminator.for_each_operand_mut(rename);
    }
    return {};
}

DestMap Function::derive_dest_map() const {
    DestMap map;
    for (const auto& [label, block] : body) {
        for (std::size_t i = 0; i < block.instructions.size(); ++i) {
            auto d = block.instructions[i].destination();
            if (!d) continue;
            // Normalised functions define names in increasing order: appending
            // at the end keeps the whole map linear to build.
            if (map.empty() || map.rbegin()->first < *d)
                map.emplace_hint(map.end(), *d, DefinitionSite{label, i});
            else
                map.insert_or_assign(*d, DefinitionSite{label, i});
        }
    }
    return map;
}

}  // namespace nkinstr
