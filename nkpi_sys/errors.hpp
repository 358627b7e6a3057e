#pragma once
// Raising the binding's exceptions: field errors chained to their cause,
// wrapped reading errors, and the guard that keeps C++ exceptions out of the
// interpreter.

#include "nkpi_sys/pyref.hpp"

#include <cxxabi.h>

#include <exception>
#include <string>
#include <string_view>

namespace nkpi_sys {

// Takes the pending exception out of the interpreter as a normalised exception
// object (its traceback attached); empty when none is pending.
PyRef fetch_exception();

// str() of an exception object, or "<exception str() failed>".
std::string exception_message(PyObject* exception);

// "TypeName: text" for an exception object; the text reads
// "<exception str() failed>" when str() of the exception fails.
std::string describe_exception(PyObject* exception);

// Raises `type` with `message` and `cause` as its __cause__ (and __context__).
void raise_with_cause(PyObject* type, std::string_view message, PyRef cause);

// Raises TypeError "failed to extract field {record}.{field}" caused by the
// pending exception. Always returns false, for `return raise_field_error(...)`.
bool raise_field_error(std::string_view record, std::string_view field);

// Replaces the pending exception by `type` with "{prefix}{TypeName}: {text}",
// without a cause: only the text of the original survives.
void raise_flattened(PyObject* type, std::string_view prefix);

// Raises `type` with a UTF-8 message; returns nullptr for `return raise_error(...)`.
PyObject* raise_error(PyObject* type, std::string_view message);

// "'{type name}' object" as the interpreter words conversion failures.
std::string object_type_name(PyObject* object);

// Runs an entry point body; a C++ exception escaping it becomes RuntimeError
// "{failure_prefix}internal error: {what}" instead of unwinding into the
// interpreter. The thread exit the interpreter forces on threads that ask for
// its lock during shutdown is let through.
template <class Body>
PyObject* guard_entry(std::string_view failure_prefix, Body&& body) {
    try {
        return body();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::exception& error) {
        try {
            return raise_error(PyExc_RuntimeError, std::string(failure_prefix) + "internal error: " + error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            return raise_error(PyExc_RuntimeError, std::string(failure_prefix) + "internal error: unknown exception");
        } catch (...) {
        }
    }
    PyErr_NoMemory();
    return nullptr;
}

}  // namespace nkpi_sys
