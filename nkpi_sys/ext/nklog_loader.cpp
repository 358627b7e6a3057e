// Reads the logging extension's create-info record from Python; registered in
// the opaque loader registry while the module is loaded.

#include <cstdint>

#include "nkcore/ext/nklog/create_info.hpp"
#include "nkpi_sys/errors.hpp"
#include "nkpi_sys/ext/nklog_callback.hpp"
#include "nkpi_sys/names.hpp"
#include "nkpi_sys/opaque_loaders.hpp"
#include "nkpi_sys/readers.hpp"

namespace nkpi_sys {

namespace {

constexpr std::uint32_t max_log_level = static_cast<std::uint32_t>(nkcore::LogLevelEXT::Error);

bool read_log_level(PyObject* value, nkcore::LogLevelEXT& out) {
    std::uint32_t number = 0;
    if (!read_u32(value, number)) return false;
    if (number > max_log_level) {
        raise_error(PyExc_ValueError, "Invalid LogLevelEXT value: " + std::to_string(number));
        return false;
    }
    out = static_cast<nkcore::LogLevelEXT>(number);
    return true;
}

bool read_log_callback(PyObject* value, nkcore::LogCallbackEXT& out) {
    if (!PyCallable_Check(value)) {
        raise_error(PyExc_TypeError, "Expected a callable object for LogCallbackEXT");
        return false;
    }
    out = make_python_log_callback(value);
    return true;
}

std::unique_ptr<nkcore::OpaqueObject> load_log_create_info(PyObject* object) {
    const AttributeNames* n = attribute_names();
    if (!n) return nullptr;
    constexpr std::string_view record = "LogCreateInfoEXT";
    nkcore::LogCreateInfoEXT info;
    if (!read_field(object, n->level, record, "level", [&](PyObject* v) { return read_log_level(v, info.level); }) ||
        !read_field(object, n->callback, record, "callback",
                    [&](PyObject* v) { return read_log_callback(v, info.callback); }))
        return nullptr;
    return nkcore::make_opaque(std::move(info));
}

const OpaqueLoaderRegistration registration{"nkpi.api.ext.nklog.LogCreateInfoEXT", &load_log_create_info};

}  // namespace

}  // namespace nkpi_sys
