#include "nkpi_sys/errors.hpp"

namespace nkpi_sys {

PyRef fetch_exception() {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type) return {};
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value && traceback) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return PyRef::steal(value);
}

namespace {

std::string utf8_of(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (!data) {
        PyErr_Clear();
        return {};
    }
    return std::string(data, static_cast<std::size_t>(size));
}

std::string exception_type_name(PyObject* exception) {
    PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(exception)), "__qualname__"));
    if (name && PyUnicode_Check(name.get())) return utf8_of(name.get());
    PyErr_Clear();
    return Py_TYPE(exception)->tp_name;
}

}  // namespace

std::string exception_message(PyObject* exception) {
    PyRef str = PyRef::steal(PyObject_Str(exception));
    if (!str) {
        PyErr_Clear();
        return "<exception str() failed>";
    }
    return utf8_of(str.get());
}

std::string describe_exception(PyObject* exception) {
    return exception_type_name(exception) + ": " + exception_message(exception);
}

PyObject* raise_error(PyObject* type, std::string_view message) {
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

void raise_with_cause(PyObject* type, std::string_view message, PyRef cause) {
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!text) return;
    PyRef exception = PyRef::steal(PyObject_CallOneArg(type, text.get()));
    if (!exception) return;
    if (cause) {
        PyException_SetContext(exception.get(), PyRef::borrow(cause.get()).release());
        PyException_SetCause(exception.get(), cause.release());  // also suppresses the context display
    }
    PyErr_Restore(PyRef::borrow(type).release(), exception.release(), nullptr);
}

bool raise_field_error(std::string_view record, std::string_view field) {
    PyRef cause = fetch_exception();
    std::string message = "failed to extract field ";
    message.append(record).append(".").append(field);
    raise_with_cause(PyExc_TypeError, message, std::move(cause));
    return false;
}

void raise_flattened(PyObject* type, std::string_view prefix) {
    PyRef original = fetch_exception();
    std::string message(prefix);
    message += original ? describe_exception(original.get()) : "unknown error";
    original = PyRef();
    raise_error(type, message);
}

std::string object_type_name(PyObject* object) { return std::string("'") + Py_TYPE(object)->tp_name + "' object"; }

}  // namespace nkpi_sys
