#include "nkcore/ext/plugin.hpp"

#include <vector>

#include "nkcore/ext/nklog/log_plugin.hpp"

namespace nkcore {

// The table is assembled here by hand rather than by self-registering
// objects: the engine is a static library, and the linker would drop an
// extension's object file that nothing else refers to.
std::span<const PluginRegistration> plugin_registry() {
    static const std::vector<PluginRegistration> registry = {
        static_plugin_registration<LogPluginEXT>(),
    };
    return registry;
}

const PluginRegistration* find_plugin(std::string_view name) {
    for (const PluginRegistration& registration : plugin_registry())
        if (registration.name == name) return &registration;
    return nullptr;
}

}  // namespace nkcore
