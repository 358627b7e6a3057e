#include "nkpi_sys/names.hpp"

#include <initializer_list>
#include <utility>

namespace nkpi_sys {

namespace {

// The names are never released: they live as long as the process, like the
// interpreter's own interned strings.
bool create(AttributeNames& names) {
    const std::initializer_list<std::pair<PyObject**, const char*>> table = {
        {&names.major, "major"},
        {&names.minor, "minor"},
        {&names.patch, "patch"},
        {&names.application_version, "application_version"},
        {&names.application_name, "application_name"},
        {&names.engine_version, "engine_version"},
        {&names.engine_name, "engine_name"},
        {&names.source_type, "source_type"},
        {&names.filename, "filename"},
        {&names.data, "data"},
        {&names.sources, "sources"},
        {&names.application_info, "application_info"},
        {&names.enabled_extensions, "enabled_extensions"},
        {&names.node_id, "node_id"},
        {&names.ext, "ext"},
        {&names.level, "level"},
        {&names.callback, "callback"},
        {&names.dunder_module, "__module__"},
        {&names.dunder_qualname, "__qualname__"},
    };
    for (const auto& [slot, text] : table) {
        *slot = PyUnicode_InternFromString(text);
        if (!*slot) return false;
    }
    return true;
}

}  // namespace

const AttributeNames* attribute_names() {
    // Guarded by the interpreter lock: every caller holds it.
    static AttributeNames names{};
    static bool ready = false;
    if (!ready) {
        if (!create(names)) return nullptr;
        ready = true;
    }
    return &names;
}

}  // namespace nkpi_sys
