// Function verification: the structural rules a function must satisfy on its
// own, checked in a fixed order; the first failing rule is reported.

#include <vector>

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/register_table.hpp"

namespace nkinstr {

namespace {

std::vector<std::string> wildcard_names(const std::set<std::uint16_t>& indices) {
    std::vector<std::string> names;
    names.reserve(indices.size());
    for (auto i : indices) names.push_back(wildcard_name(i));
    return names;
}

Status check_wildcard_types(const Function& f) {
    const auto used = f.generate_wildcard_types();
    if (used == f.wildcard_types) return {};
    return fail(errors::UnsoundWildcardTypes{f.display_name(), wildcard_names(f.wildcard_types), wildcard_names(used)});
}

Status check_meta_instructions(const Function& f) {
    if (f.meta_function) return {};
    for (const auto& [label, block] : f.body)
        for (const auto& instr : block.instructions)
            if (instr.is_meta())
                return fail(errors::MetaInstructionNotAllowed{f.display_name(), instruction_debug_text(instr)});
    return {};
}

Status check_phi_placement(const Function& f) {
    for (const auto& [label, block] : f.body) {
        bool seen_other = false;
        for (const auto& instr : block.instructions) {
            if (!instr.is_phi()) {
                seen_other = true;
            } else if (seen_other) {
                return fail(errors::PhiNotFirst{label});
            }
        }
    }
    return {};
}

Status check_branch_targets(const Function& f) {
    for (const auto& [label, block] : f.body) {
        std::optional<Label> missing;
        block.terminator.for_each_successor([&](Label target) {
            if (!missing && f.body.count(target) == 0) missing = target;
        });
        if (missing) return fail(errors::UndefinedLabel{*missing, f.display_name()});
    }
    return {};
}

// Rule 5: every name is defined once. Returns the set of defined names.
Result<RegisterTable<bool>, Error> collect_definitions(const Function& f) {
    auto defined = make_register_table<bool>(f);
    for (const auto& p : f.params)
        if (!defined.insert_or_assign(p.first, true)) return fail(errors::DuplicateDefinition{p.first});
    for (const auto& [label, block] : f.body)
        for (const auto& instr : block.instructions)
            if (auto d = instr.destination())
                if (!defined.insert_or_assign(*d, true)) return fail(errors::DuplicateDefinition{*d});
    return defined;
}

// Rule 6: every register read names a definition (by name only, not by dominance).
Status check_defined_operands(const Function& f, const RegisterTable<bool>& defined) {
    std::optional<Name> undefined;
    auto check = [&](const Operand& o) {
        if (undefined) return;
        if (const Name* n = as_reg(o); n && !defined.contains(*n)) undefined = *n;
    };
    for (const auto& [label, block] : f.body) {
        for (const auto& instr : block.instructions) instr.for_each_operand(check);
        block.terminator.for_each_operand(check);
        if (undefined) return fail(errors::UndefinedName{*undefined});
    }
    return {};
}

Status check_limits(const Function& f) {
    if (f.body.size() > Function::kMaxBasicBlocks)
        return fail(errors::TooManyBasicBlocks{f.display_name(), f.body.size(), Function::kMaxBasicBlocks});
    std::size_t total = 0;
    for (const auto& [label, block] : f.body) {
        const std::size_t n = block.instructions.size();
        if (n > Function::kMaxBlockInstructions)
            return fail(errors::TooManyBlockInstructions{label, f.display_name(), n, Function::kMaxBlockInstructions});
        total += n;
    }
    if (total > Function::kMaxInstructions)
        return fail(errors::TooManyInstructions{f.display_name(), total, Function::kMaxInstructions});
    if (f.params.size() > Function::kMaxParameters)
        return fail(errors::TooManyParameters{f.display_name(), f.params.size(), Function::kMaxParameters});
    if (f.wildcard_types.size() > Function::kMaxWildcardTypes)
        return fail(
            errors::TooManyWildcardTypes{f.display_name(), f.wildcard_types.size(), Function::kMaxWildcardTypes});
    return {};
}

}  // namespace

std::set<std::uint16_t> Function::generate_wildcard_types() const {
    // A bitmap over all 65,536 indices keeps this linear whatever the function holds.
    std::vector<bool> used(std::size_t(1) << 16, false);
    bool any = false;
    auto note = [&](const Typeref& r) {
        if (r.is_wildcard()) {
            used[r.wildcard_index()] = true;
            any = true;
        }
    };
    for (const auto& p : params) note(p.second);
    for (const auto& [label, block] : body)
        for (const auto& instr : block.instructions) instr.for_each_referenced_type(note);

    std::set<std::uint16_t> result;
    if (!any) return result;
    for (std::size_t i = 0; i < used.size(); ++i)
        if (used[i]) result.insert(result.end(), std::uint16_t(i));
    return result;
}

bool Function::should_be_meta_function() const {
    for (const auto& [label, block] : body)
        for (const auto& instr : block.instructions)
            if (instr.is_meta()) return true;
    return !generate_wildcard_types().empty();
}

Status Function::verify() const {
    NK_TRY(check_wildcard_types(*this));
    NK_TRY(check_meta_instructions(*this));
    NK_TRY(check_phi_placement(*this));
    NK_TRY(check_branch_targets(*this));
    auto defined = collect_definitions(*this);
    if (!defined) return fail(std::move(defined).error());
    NK_TRY(check_defined_operands(*this, *defined));
    NK_TRY(check_limits(*this));
    if (body.count(Label{0}) == 0) return fail(errors::MissingEntryBlock{});
    return {};
}

}  // namespace nkinstr
