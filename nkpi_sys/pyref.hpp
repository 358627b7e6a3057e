#pragma once
// Small RAII helpers around the interpreter's C interface: owned references,
// holding or dropping the interpreter lock, and a pending exception kept aside.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace nkpi_sys {

// Owns one strong reference (or none).
class PyRef {
public:
    PyRef() = default;
    static PyRef steal(PyObject* object) {
        PyRef ref;
        ref.object_ = object;
        return ref;
    }
    static PyRef borrow(PyObject* object) {
        Py_XINCREF(object);
        return steal(object);
    }

    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(object_);
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

// Holds the interpreter lock for a scope; works on any thread, including one
// that already holds it.
class GilGuard {
public:
    GilGuard() : state_(PyGILState_Ensure()) {}
    ~GilGuard() { PyGILState_Release(state_); }
    GilGuard(const GilGuard&) = delete;
    GilGuard& operator=(const GilGuard&) = delete;

private:
    PyGILState_STATE state_;
};

// Lets other Python threads run for a scope; the calling thread must hold the
// lock, and gets it back when the scope ends (also when an exception unwinds).
class GilRelease {
public:
    GilRelease() : state_(PyEval_SaveThread()) {}
    ~GilRelease() { PyEval_RestoreThread(state_); }
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;

private:
    PyThreadState* state_;
};

// Takes the pending exception (if any) out of the interpreter for a scope and
// puts it back at the end, so that code run meanwhile starts from a clean state.
class PendingErrorStash {
public:
    PendingErrorStash() { PyErr_Fetch(&type_, &value_, &traceback_); }
    ~PendingErrorStash() { PyErr_Restore(type_, value_, traceback_); }
    PendingErrorStash(const PendingErrorStash&) = delete;
    PendingErrorStash& operator=(const PendingErrorStash&) = delete;

private:
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

}  // namespace nkpi_sys
