#include "nkpi_sys/ext/nklog_callback.hpp"

#include <datetime.h>

#include <cstdio>
#include <exception>
#include <string>

#include "nkpi_sys/errors.hpp"

namespace nkpi_sys {

namespace {

// Owns the callable's reference; copies of the std::function share it, so
// copying never touches the interpreter.
class CallableReference {
public:
    explicit CallableReference(PyObject* callable) : callable_(callable) { Py_INCREF(callable_); }
    CallableReference(const CallableReference&) = delete;
    CallableReference& operator=(const CallableReference&) = delete;
    ~CallableReference() {
        // After interpreter shutdown there is nothing left to release into.
        if (!Py_IsInitialized()) return;
        GilGuard gil;
        Py_DECREF(callable_);
    }
    PyObject* get() const { return callable_; }

private:
    PyObject* callable_;
};

PyObject* new_str(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* new_optional_str(const std::optional<std::string>& text) {
    if (!text) Py_RETURN_NONE;
    return new_str(*text);
}

PyObject* new_datetime(const nkcore::LocalTimepoint& t) {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI) return nullptr;
    }
    // Python's datetime has microseconds: the nanoseconds are truncated.
    return PyDateTime_FromDateAndTime(t.year, static_cast<int>(t.month), static_cast<int>(t.day),
                                      static_cast<int>(t.hour), static_cast<int>(t.minute),
                                      static_cast<int>(t.second), static_cast<int>(t.nanosecond / 1000));
}

bool set_item(PyObject* dict, const char* key, PyObject* new_value) {
    PyRef value = PyRef::steal(new_value);
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

void deliver(PyObject* callable, const nkcore::LogMessageEXT& record) {
    GilGuard gil;
    // The engine may emit while the caller has an exception pending (for
    // example an Instance collected during unwinding): keep it aside.
    PendingErrorStash stash;
    PyRef dict = PyRef::steal(log_record_to_dict(record));
    PyRef result = dict ? PyRef::steal(PyObject_CallOneArg(callable, dict.get())) : PyRef();
    // A failing callback must not break the engine operation that logged:
    // report it like an exception raised in a destructor, then go on.
    if (!result) PyErr_WriteUnraisable(callable);
}

}  // namespace

PyObject* log_record_to_dict(const nkcore::LogMessageEXT& record) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    const bool ok = set_item(d, "level", PyLong_FromLong(static_cast<long>(record.level))) &&
                    set_item(d, "timepoint", new_datetime(record.timepoint)) &&
                    set_item(d, "message", new_str(record.message)) &&
                    set_item(d, "module", new_str(record.module)) &&
                    set_item(d, "file", new_optional_str(record.file)) &&
                    set_item(d, "line", record.line ? PyLong_FromUnsignedLong(*record.line) : (Py_INCREF(Py_None), Py_None)) &&
                    set_item(d, "thread_name", new_optional_str(record.thread_name));
    return ok ? dict.release() : nullptr;
}

nkcore::LogCallbackEXT make_python_log_callback(PyObject* callable) {
    auto reference = std::make_shared<CallableReference>(callable);
    // Not noexcept: a thread that asks for the interpreter lock during shutdown
    // is ended by the interpreter through a forced unwind.
    return [reference](nkcore::LogMessageEXT record) {
        try {
            deliver(reference->get(), record);
        } catch (const std::exception& error) {
            // Nothing may propagate into the engine; std::bad_alloc at worst.
            std::fprintf(stderr, "nkpi: log callback failed: %s\n", error.what());
        }
    };
}

}  // namespace nkpi_sys
