// Module-level verification (functions on their own, then their references to
// other functions) and the rewriting of type references after a registry merge.

#include "nkinstr/modules/module.hpp"

namespace nkinstr {

namespace {

void remap(Typeref& r, const TypeMap& map) {
    if (auto it = map.find(r); it != map.end()) r = it->second;
}

// Undef operands carry a type reference too. Left alone they would keep
// naming the source registry's types after a merge, and type checking against
// the target registry would then meet references it never issued.
void remap_undef(Operand& o, const TypeMap& map) {
    if (auto* u = std::get_if<Undef>(&o)) remap(u->ty, map);
}

}  // namespace

Status Module::verify() const {
    for (const auto& [uuid, function] : functions) {
        if (!function) continue;
        NK_TRY(function->verify());
        NK_TRY(verify_func(*function));
    }
    return {};
}

Status Module::verify_func(const Function& function) const {
    std::optional<Error> error;
    auto check = [&](const Operand& o) {
        if (error) return;
        const auto* c = as_imm(o);
        const auto* p = c ? std::get_if<FunctionPointer>(c) : nullptr;
        if (!p) return;
        if (p->is_external()) {
            if (external_functions.count(p->uuid) == 0)
                error = errors::UndefinedExternalFunction{function.display_name(), p->uuid};
        } else if (p->uuid != function.uuid && functions.count(p->uuid) == 0) {
            error = errors::UndefinedInternalFunction{function.display_name(), p->uuid};
        }
    };
    // Terminator operands are deliberately not examined.
    for (const auto& [label, block] : function.body) {
        for (const auto& instr : block.instructions) {
            instr.for_each_operand(check);
            if (error) return fail(std::move(*error));
        }
    }
    return {};
}

void Module::remap_types(const TypeMap& map) {
    for (auto& [uuid, function] : functions) {
        if (!function) continue;
        // Remapping changes the function in place. Another holder of the same
        // function (an engine context, say) still expects the old references,
        // so a shared function is copied first and only this module's handle
        // moves to the rewritten copy.
        if (function.use_count() > 1) function = std::make_shared<Function>(*function);
        function->remap_types(map);
    }
    for (auto& [uuid, external] : external_functions) external.remap_types(map);
}

void Function::remap_types(const TypeMap& map) {
    for (auto& p : params) remap(p.second, map);
    if (return_type) remap(*return_type, map);
    auto undef = [&](Operand& o) { remap_undef(o, map); };
    for (auto& [label, block] : body) {
        for (auto& instr : block.instructions) {
            instr.remap_types(map);
            instr.for_each_operand_mut(undef);
        }
        block.terminator.for_each_operand_mut(undef);
    }
}

void ExternalFunction::remap_types(const TypeMap& map) {
    for (auto& t : param_types) remap(t, map);
    if (return_type) remap(*return_type, map);
}

}  // namespace nkinstr
