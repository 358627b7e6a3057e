#pragma once
// Attribute names read from the caller's records, created (interned) once per
// process and reused for every read.

#include "nkpi_sys/pyref.hpp"

namespace nkpi_sys {

struct AttributeNames {
    PyObject* major;
    PyObject* minor;
    PyObject* patch;
    PyObject* application_version;
    PyObject* application_name;
    PyObject* engine_version;
    PyObject* engine_name;
    PyObject* source_type;
    PyObject* filename;
    PyObject* data;
    PyObject* sources;
    PyObject* application_info;
    PyObject* enabled_extensions;
    PyObject* node_id;
    PyObject* ext;
    PyObject* level;
    PyObject* callback;
    PyObject* dunder_module;
    PyObject* dunder_qualname;
};

// Creates the names on first use; nullptr (with a Python error) if that fails.
// Call with the interpreter lock held.
const AttributeNames* attribute_names();

}  // namespace nkpi_sys
