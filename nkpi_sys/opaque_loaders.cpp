#include "nkpi_sys/opaque_loaders.hpp"

#include <cstdio>

#include "nkpi_sys/errors.hpp"
#include "nkpi_sys/names.hpp"

namespace nkpi_sys {

PyOpaqueObjectLoadersRegistry& PyOpaqueObjectLoadersRegistry::instance() {
    static PyOpaqueObjectLoadersRegistry registry;
    return registry;
}

void PyOpaqueObjectLoadersRegistry::add(std::string type_name, OpaqueLoader loader) {
    entries_.push_back({std::move(type_name), loader});
}

namespace {

std::optional<std::string> str_attribute(PyObject* object, PyObject* name) {
    PyRef value = PyRef::steal(PyObject_GetAttr(object, name));
    if (!value) return std::nullopt;
    if (!PyUnicode_Check(value.get())) {
        raise_error(PyExc_TypeError, object_type_name(value.get()) + " cannot be converted to 'str'");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.get(), &size);
    if (!data) return std::nullopt;
    return std::string(data, static_cast<std::size_t>(size));
}

std::string registered_names_list() {
    std::string list = "[";
    bool first = true;
    for (const auto& entry : PyOpaqueObjectLoadersRegistry::instance().entries()) {
        if (!first) list += ", ";
        first = false;
        list += '"' + entry.type_name + '"';
    }
    return list + "]";
}

}  // namespace

std::optional<std::string> qualified_type_name(PyObject* object) {
    const AttributeNames* names = attribute_names();
    if (!names) return std::nullopt;
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
    std::optional<std::string> module = str_attribute(type, names->dunder_module);
    if (!module) return std::nullopt;
    std::optional<std::string> qualname = str_attribute(type, names->dunder_qualname);
    if (!qualname) return std::nullopt;
    if (*module == "builtins" || *module == "__main__") return qualname;
    return *module + "." + *qualname;
}

std::unique_ptr<nkcore::OpaqueObject> load_opaque_object(PyObject* object) {
    std::optional<std::string> type_name = qualified_type_name(object);
    if (!type_name) return nullptr;
    for (const auto& entry : PyOpaqueObjectLoadersRegistry::instance().entries())
        if (entry.type_name == *type_name) return entry.loader(object);

    const std::string message =
        "No loader registered for type '" + *type_name + "'. Possible types are: " + registered_names_list();
    // The process's standard output, not sys.stdout: flush what Python has
    // buffered first so the lines keep their order.
    if (PyObject* py_stdout = PySys_GetObject("stdout"); py_stdout && py_stdout != Py_None) {
        PyRef flushed = PyRef::steal(PyObject_CallMethod(py_stdout, "flush", nullptr));
        if (!flushed) PyErr_Clear();
    }
    std::fwrite(message.data(), 1, message.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    raise_error(PyExc_TypeError, message);
    return nullptr;
}

}  // namespace nkpi_sys
