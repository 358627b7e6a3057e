#pragma once
// Reading the engine's API records from the caller's Python objects, attribute
// by attribute. Every function returns false / an empty optional with a Python
// exception set when reading fails.

#include "nkpi_sys/errors.hpp"
#include "nkpi_sys/pyref.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nkcore/base/api.hpp"

namespace nkpi_sys {

// Values.
bool read_u16(PyObject* value, std::uint16_t& out);
bool read_u32(PyObject* value, std::uint32_t& out);
bool read_str(PyObject* value, std::string& out);
bool read_optional_str(PyObject* value, std::optional<std::string>& out);

// Gets attribute `name` of `object` (a missing attribute propagates as the
// interpreter raised it) and reads it with `read_value`; a value that does not
// read becomes TypeError "failed to extract field {record}.{field}" caused by
// the reading error.
template <class ReadValue>
bool read_field(PyObject* object, PyObject* name, std::string_view record, std::string_view field,
                ReadValue&& read_value) {
    PyRef value = PyRef::steal(PyObject_GetAttr(object, name));
    if (!value) return false;
    if (!read_value(value.get())) return raise_field_error(record, field);
    return true;
}

// Records.
bool read_version_info(PyObject* object, nkcore::VersionInfo& out);
bool read_application_info(PyObject* object, nkcore::ApplicationInfo& out);
bool read_module_source_type(PyObject* object, nkcore::ModuleSourceType& out);
bool read_module_source_info(PyObject* object, nkcore::ModuleSourceInfo& out);
std::optional<nkcore::ModuleCompileInfo> read_module_compile_info(PyObject* object);
std::optional<nkcore::InstanceCreateInfo> read_instance_create_info(PyObject* object);

// The length of `value` when it reads as a list (a sequence, or an instance of
// collections.abc.Sequence, but not a str), else -1 with TypeError set.
Py_ssize_t sequence_length(PyObject* value);
PyObject* sequence_item(PyObject* value, Py_ssize_t index);  // new reference

// Reads every element of a sequence with `read_element`, in order.
template <class T, class ReadElement>
bool read_sequence(PyObject* value, std::vector<T>& out, ReadElement&& read_element) {
    const Py_ssize_t length = sequence_length(value);
    if (length < 0) return false;
    out.clear();
    // The length is the caller's claim; grow as elements actually arrive.
    for (Py_ssize_t index = 0; index < length; ++index) {
        PyRef element = PyRef::steal(sequence_item(value, index));
        if (!element) return false;
        T item{};
        if (!read_element(element.get(), item)) return false;
        out.push_back(std::move(item));
    }
    return true;
}

}  // namespace nkpi_sys
