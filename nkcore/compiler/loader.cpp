// load_module: container bytes -> a module whose types live in the instance's
// registry, handed to the instance's add_module.

#include <fmt/format.h>

#include "nkcore/base/instance.hpp"
#include "nkcore/compiler/compiler.hpp"
#include "nkcore/compiler/container.hpp"
#include "nkinstr/modules/fmt/printer.hpp"

namespace nkcore {

namespace {

constexpr std::string_view kLogModule = "nkcore::compiler";

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += items[i];
    }
    return out;
}

}  // namespace

NkResult<ModuleKey> load_module(const InstanceRef& instance, std::span<const std::uint8_t> bytes) {
    auto decoded = decode(bytes, instance->engine_version(), *instance);
    if (!decoded.ok()) return nkinstr::fail(std::move(decoded).error());
    CompiledModuleStorage& storage = decoded.value();

    NK_LOG(*instance, Trace, kLogModule, "Loaded compiled module with {} functions from {} bytes",
           storage.module.functions.size(), bytes.size());
    NK_LOG(*instance, Trace, kLogModule, "Module originally compiled from: {}", joined(storage.source_names));
    NK_LOG(*instance, Trace, kLogModule, "Merging type registry ({} types) into instance's registry ({} types)",
           storage.type_registry.len(), instance->type_registry().len());

    // From here on the module's types belong to the instance, whatever follows.
    auto mapping = instance->type_registry().merge_with(storage.type_registry);
    if (!mapping.ok()) return nkinstr::fail(NkError(nkerrors::Unknown{std::move(mapping).error()}));
    storage.module.remap_types(mapping.value());
    return InstanceContext::add_module(instance, std::move(storage.module));
}

NkResult<std::string> disassemble_module(std::span<const std::uint8_t> bytes) {
    auto build = build_info();
    if (!build.ok()) return nkinstr::fail(std::move(build).error());
    DiscardingLogTarget discard;
    auto decoded = decode(bytes, build.value()->package.version, discard);
    if (!decoded.ok()) return nkinstr::fail(std::move(decoded).error());
    return nkinstr::module_text(decoded.value().module, decoded.value().type_registry);
}

}  // namespace nkcore
