// The nkpi._sys extension module: wires the native functions into Python.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace {

PyObject* overflow() {
    PyErr_SetString(PyExc_OverflowError, "integer overflow");
    return nullptr;
}

bool read_u64_argument(PyObject* arg, std::uint64_t& out) {
    PyObject* index = PyNumber_Index(arg);
    if (!index) {
        PyObject *type, *value, *tb;
        PyErr_Fetch(&type, &value, &tb);
        PyObject* text = value ? PyObject_Str(value) : nullptr;
        PyErr_Format(PyExc_TypeError, "argument 'n': %U", text ? text : Py_None);
        Py_XDECREF(text);
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(tb);
        return false;
    }
    out = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    return !PyErr_Occurred();
}

PyObject* factorial(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"n", nullptr};
    PyObject* arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:factorial", const_cast<char**>(keywords), &arg)) return nullptr;
    std::uint64_t n = 0;
    if (!read_u64_argument(arg, n)) return nullptr;
    std::uint64_t result = 1;
    for (std::uint64_t k = 2; k <= n; ++k)
        if (__builtin_mul_overflow(result, k, &result)) return overflow();
    return PyLong_FromUnsignedLongLong(result);
}

PyObject* fibonacci(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"n", nullptr};
    PyObject* arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:fibonacci", const_cast<char**>(keywords), &arg)) return nullptr;
    std::uint64_t n = 0;
    if (!read_u64_argument(arg, n)) return nullptr;
    if (n == 0) return PyLong_FromUnsignedLongLong(0);
    std::uint64_t previous = 0, current = 1;
    for (std::uint64_t i = 0; i < n; ++i) {
        std::uint64_t next;
        if (__builtin_add_overflow(current, previous, &next)) return overflow();
        previous = current;
        current = next;
    }
    return PyLong_FromUnsignedLongLong(previous);
}

PyMethodDef methods[] = {
    {"factorial", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(factorial)), METH_VARARGS | METH_KEYWORDS,
     "factorial(n)\n--\n\nComputes the factorial of a number."},
    {"fibonacci", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fibonacci)), METH_VARARGS | METH_KEYWORDS,
     "fibonacci(n)\n--\n\nComputes the fibonacci of a number."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_sys",
                          "The module initializer wires the native functions into nkpi._sys.", -1, methods};

}  // namespace

PyMODINIT_FUNC PyInit__sys() { return PyModule_Create(&module_def); }
