// compile_sources: assembly sources -> one verified, type-checked module -> container bytes.

#include "nkcore/compiler/compiler.hpp"

#include <fmt/format.h>

#include "nkcore/base/instance.hpp"
#include "nkcore/compiler/container.hpp"
#include "nkinstr/modules/parser/parser.hpp"

namespace nkcore {

namespace {

constexpr std::string_view kLogModule = "nkcore::compiler";

// A source's name as log messages show it.
std::string_view source_label(const ModuleSourceInfo& source) {
    return source.filename ? std::string_view(*source.filename) : std::string_view("<unnamed>");
}

NkStatus parse_sources(const InstanceContext& instance, std::vector<ModuleSourceInfo>& sources,
                       nkinstr::Module& module, nkinstr::TypeRegistry& registry, std::vector<std::string>& names) {
    for (ModuleSourceInfo& source : sources) {
        NK_LOG(instance, Trace, kLogModule, "Compiling source \"{}\"", source_label(source));
        nkinstr::Status parsed = nkinstr::extend_module_from_string(module, registry, source.data);
        if (!parsed.ok()) {
            NK_LOG(instance, Error, kLogModule, "Failed to compile assembly source \"{}\": {}", source_label(source),
                   parsed.error().message());
            return nkinstr::fail(NkError(std::move(parsed).error()));
        }
        // The text is no longer needed; release it before the next source.
        std::string().swap(source.data);
        if (source.filename) names.push_back(std::move(*source.filename));
    }
    return {};
}

NkStatus check_module(const InstanceContext& instance, const nkinstr::Module& module,
                      nkinstr::TypeRegistry& registry) {
    NK_LOG(instance, Trace, kLogModule, "Verifying compiled module");
    if (nkinstr::Status verified = module.verify(); !verified.ok()) {
        NK_LOG(instance, Error, kLogModule, "Module verification failed: {}", verified.error().message());
        return nkinstr::fail(NkError(std::move(verified).error()));
    }
    NK_LOG(instance, Trace, kLogModule, "Type checking compiled module");
    for (const auto& [uuid, function] : module.functions) {
        std::string name = engine_display_name(*function);
        NK_LOG(instance, Trace, kLogModule, "Type checking function '{}'", name);
        nkinstr::Status checked = function->type_check(registry);
        if (!checked.ok()) {
            NK_LOG(instance, Error, kLogModule, "Type check failed for function '{}': {}", name,
                   checked.error().message());
            return nkinstr::fail(NkError(std::move(checked).error()));
        }
    }
    return {};
}

}  // namespace

NkResult<std::vector<std::uint8_t>> compile_sources(const InstanceContext& instance, ModuleCompileInfo info) {
    CompiledModuleStorage storage;
    NK_TRY(parse_sources(instance, info.sources, storage.module, storage.type_registry, storage.source_names));
    NK_TRY(check_module(instance, storage.module, storage.type_registry));

    auto bytes = encode(storage, instance.engine_version(), instance);
    if (!bytes.ok()) return bytes;  // the writer logs its own failure

    std::vector<std::string> names;
    names.reserve(storage.module.functions.size());
    for (const auto& [uuid, function] : storage.module.functions) names.push_back(engine_display_name(*function));
    NK_LOG(instance, Info, kLogModule, "Compiled successful, module has {} functions: {}", names.size(),
           quoted_list(names));
    NK_LOG(instance, Info, kLogModule, "Produced {} bytes of compiled module storage", bytes.value().size());
    return bytes;
}

}  // namespace nkcore
