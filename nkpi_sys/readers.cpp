#include "nkpi_sys/readers.hpp"

#include <limits>

#include "nkpi_sys/names.hpp"
#include "nkpi_sys/opaque_loaders.hpp"

namespace nkpi_sys {

namespace {

// The interpreter's integer conversion (index protocol), then a range check.
bool read_unsigned(PyObject* value, unsigned long long max, const char* c_type_name, unsigned long long& out) {
    PyRef index = PyRef::steal(PyNumber_Index(value));
    if (!index) return false;
    const unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (number > max) {
        raise_error(PyExc_OverflowError, std::string("Python int too large to convert to C ") + c_type_name);
        return false;
    }
    out = number;
    return true;
}

PyObject* sequence_abc() {
    // Looked up once; kept for the life of the process.
    static PyObject* abc = nullptr;
    if (!abc) {
        PyRef module = PyRef::steal(PyImport_ImportModule("collections.abc"));
        if (!module) return nullptr;
        abc = PyObject_GetAttrString(module.get(), "Sequence");
    }
    return abc;
}

bool read_extension_list(PyObject* value, nkcore::OpaqueList& out) {
    return read_sequence(value, out, [](PyObject* element, std::unique_ptr<nkcore::OpaqueObject>& item) {
        item = load_opaque_object(element);
        return item != nullptr;
    });
}

}  // namespace

bool read_u16(PyObject* value, std::uint16_t& out) {
    unsigned long long number = 0;
    if (!read_unsigned(value, std::numeric_limits<std::uint16_t>::max(), "unsigned short", number)) return false;
    out = static_cast<std::uint16_t>(number);
    return true;
}

bool read_u32(PyObject* value, std::uint32_t& out) {
    unsigned long long number = 0;
    if (!read_unsigned(value, std::numeric_limits<std::uint32_t>::max(), "unsigned int", number)) return false;
    out = static_cast<std::uint32_t>(number);
    return true;
}

bool read_str(PyObject* value, std::string& out) {
    if (!PyUnicode_Check(value)) {
        raise_error(PyExc_TypeError, object_type_name(value) + " cannot be converted to 'str'");
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (!data) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool read_optional_str(PyObject* value, std::optional<std::string>& out) {
    if (value == Py_None) {
        out.reset();
        return true;
    }
    std::string text;
    if (!read_str(value, text)) return false;
    out = std::move(text);
    return true;
}

Py_ssize_t sequence_length(PyObject* value) {
    if (PyUnicode_Check(value)) {
        raise_error(PyExc_TypeError, "a str cannot be read as a list");
        return -1;
    }
    if (!PySequence_Check(value)) {
        PyObject* abc = sequence_abc();
        if (!abc) return -1;
        const int is_sequence = PyObject_IsInstance(value, abc);
        if (is_sequence < 0) return -1;
        if (!is_sequence) {
            raise_error(PyExc_TypeError, object_type_name(value) + " cannot be converted to a sequence");
            return -1;
        }
    }
    return PyObject_Size(value);
}

PyObject* sequence_item(PyObject* value, Py_ssize_t index) {
    if (PySequence_Check(value)) return PySequence_GetItem(value, index);
    PyRef key = PyRef::steal(PyLong_FromSsize_t(index));
    return key ? PyObject_GetItem(value, key.get()) : nullptr;
}

bool read_version_info(PyObject* object, nkcore::VersionInfo& out) {
    const AttributeNames* n = attribute_names();
    if (!n) return false;
    constexpr std::string_view record = "VersionInfo";
    return read_field(object, n->major, record, "major", [&](PyObject* v) { return read_u16(v, out.major); }) &&
           read_field(object, n->minor, record, "minor", [&](PyObject* v) { return read_u16(v, out.minor); }) &&
           read_field(object, n->patch, record, "patch", [&](PyObject* v) { return read_u16(v, out.patch); });
}

bool read_application_info(PyObject* object, nkcore::ApplicationInfo& out) {
    const AttributeNames* n = attribute_names();
    if (!n) return false;
    constexpr std::string_view record = "ApplicationInfo";
    return read_field(object, n->application_version, record, "application_version",
                      [&](PyObject* v) { return read_version_info(v, out.application_version); }) &&
           read_field(object, n->application_name, record, "application_name",
                      [&](PyObject* v) { return read_str(v, out.application_name); }) &&
           read_field(object, n->engine_version, record, "engine_version",
                      [&](PyObject* v) { return read_version_info(v, out.engine_version); }) &&
           read_field(object, n->engine_name, record, "engine_name",
                      [&](PyObject* v) { return read_str(v, out.engine_name); });
}

bool read_module_source_type(PyObject* object, nkcore::ModuleSourceType& out) {
    std::uint32_t value = 0;
    if (!read_u32(object, value)) return false;
    if (value != static_cast<std::uint32_t>(nkcore::ModuleSourceType::Assembly)) {
        raise_error(PyExc_ValueError, "Invalid ModuleSourceType value: " + std::to_string(value));
        return false;
    }
    out = nkcore::ModuleSourceType::Assembly;
    return true;
}

bool read_module_source_info(PyObject* object, nkcore::ModuleSourceInfo& out) {
    const AttributeNames* n = attribute_names();
    if (!n) return false;
    constexpr std::string_view record = "ModuleSourceInfo";
    return read_field(object, n->source_type, record, "source_type",
                      [&](PyObject* v) { return read_module_source_type(v, out.source_type); }) &&
           read_field(object, n->filename, record, "filename",
                      [&](PyObject* v) { return read_optional_str(v, out.filename); }) &&
           read_field(object, n->data, record, "data", [&](PyObject* v) { return read_str(v, out.data); });
}

std::optional<nkcore::ModuleCompileInfo> read_module_compile_info(PyObject* object) {
    const AttributeNames* n = attribute_names();
    if (!n) return std::nullopt;
    nkcore::ModuleCompileInfo info;
    if (!read_field(object, n->sources, "ModuleCompileInfo", "sources",
                    [&](PyObject* v) { return read_sequence(v, info.sources, read_module_source_info); }))
        return std::nullopt;
    return info;
}

std::optional<nkcore::InstanceCreateInfo> read_instance_create_info(PyObject* object) {
    const AttributeNames* n = attribute_names();
    if (!n) return std::nullopt;
    constexpr std::string_view record = "InstanceCreateInfo";
    nkcore::InstanceCreateInfo info;
    const bool ok =
        read_field(object, n->application_info, record, "application_info",
                   [&](PyObject* v) { return read_application_info(v, info.application_info); }) &&
        read_field(object, n->enabled_extensions, record, "enabled_extensions",
                   [&](PyObject* v) { return read_sequence(v, info.enabled_extensions, read_str); }) &&
        read_field(object, n->node_id, record, "node_id", [&](PyObject* v) { return read_u32(v, info.node_id); }) &&
        read_field(object, n->ext, record, "ext", [&](PyObject* v) {
            // The list is one wrapped value with a field error of its own.
            return read_extension_list(v, info.ext) || raise_field_error("OpaqueList", "0");
        });
    if (!ok) return std::nullopt;
    return info;
}

}  // namespace nkpi_sys
