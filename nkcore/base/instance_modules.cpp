// Adding a checked module to an instance's module table.

#include <fmt/format.h>

#include "nkcore/base/instance.hpp"

namespace nkcore {

namespace {

constexpr std::string_view kLogModule = "nkcore::base";

NkStatus type_check_functions(InstanceContext& instance, const nkinstr::Module& module) {
    for (const auto& [uuid, function] : module.functions) {
        std::string name = engine_display_name(*function);
        NK_LOG(instance, Trace, kLogModule, "Type checking function '{}'", name);
        nkinstr::Status checked = function->type_check(instance.type_registry());
        if (!checked.ok()) {
            NK_LOG(instance, Error, kLogModule, "Type check failed for function '{}': {}", name,
                   checked.error().message());
            return nkinstr::fail(NkError(std::move(checked).error()));
        }
    }
    return {};
}

std::unique_ptr<FunctionMap> analyse_functions(const nkinstr::Module& module) {
    auto functions = std::make_unique<FunctionMap>();
    for (const auto& [uuid, function] : module.functions) {
        nkinstr::FunctionAnalysis analysis = nkinstr::analyze(function);
        functions->insert(uuid, std::make_shared<const FunctionContext>(function, std::move(analysis)));
    }
    return functions;
}

std::string function_names(const nkinstr::Module& module) {
    std::vector<std::string> names;
    names.reserve(module.functions.size());
    for (const auto& [uuid, function] : module.functions) names.push_back(engine_display_name(*function));
    return quoted_list(names);
}

}  // namespace

NkResult<ModuleKey> InstanceContext::add_module(const InstanceRef& instance, nkinstr::Module module) {
    NK_LOG(*instance, Trace, kLogModule, "Verifying module before adding to instance");
    if (nkinstr::Status verified = module.verify(); !verified.ok())
        return nkinstr::fail(NkError(std::move(verified).error()));
    NK_TRY(type_check_functions(*instance, module));

    InstanceWeak weak = instance;
    nkinstr::Uuid uuid = instance->next_module_uuid();
    auto theorems = TheoremLibrary::create();
    auto functions = analyse_functions(module);
    NK_LOG(*instance, Info, kLogModule, "Module with UUID {} added to instance. Contains functions: {}",
           uuid.to_string(), function_names(module));

    auto context = std::make_shared<ModuleContext>(std::move(weak), uuid, std::move(module), std::move(theorems),
                                                   std::move(functions));
    ModuleKey key = instance->insert_module(std::move(context));
    // Announced only after the table lock is released: a sink may run foreign
    // code (a Python callback) that must never wait while we hold the table.
    NK_LOG(*instance, Trace, kLogModule, "ModuleContext inserted into InstanceContext with key {}",
           key.debug_string());
    return key;
}

}  // namespace nkcore
