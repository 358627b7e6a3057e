// The nkpi._sys extension module: its initializer adds the classes Instance
// and Module, then the functions, in that order.

#include "nkpi_sys/classes.hpp"
#include "nkpi_sys/functions.hpp"
#include "nkpi_sys/names.hpp"

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_sys",
    "The module initializer wires the native functions into nkpi._sys.",
    -1,
    nullptr,  // functions are added after the classes
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__sys() {
    nkpi_sys::PyRef module = nkpi_sys::PyRef::steal(PyModule_Create(&module_def));
    if (!module) return nullptr;
    if (!nkpi_sys::add_classes(module.get())) return nullptr;
    if (PyModule_AddFunctions(module.get(), nkpi_sys::module_functions) < 0) return nullptr;
    if (!nkpi_sys::attribute_names()) return nullptr;
    return module.release();
}
