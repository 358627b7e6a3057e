#include "nkpi_sys/classes.hpp"

#include <exception>
#include <memory>
#include <new>
#include <utility>

namespace nkpi_sys {

namespace {

struct InstanceObject {
    PyObject_HEAD
    nkcore::InstanceRef instance;
};

struct ModuleObject {
    PyObject_HEAD
    nkcore::ModuleKey key;
    nkcore::InstanceWeak instance;
};

// Static class objects, filled in by ready(); they live as long as the process.
PyTypeObject instance_type{};
PyTypeObject module_type{};

void release_instance(nkcore::InstanceRef instance) noexcept {
    // Dropping the last reference tears the instance down, which logs and may
    // call back into Python; a C++ exception must not leave the destructor.
    try {
        instance.reset();
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
        PyErr_WriteUnraisable(nullptr);
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "instance teardown failed");
        PyErr_WriteUnraisable(nullptr);
    }
}

// Runs with the interpreter lock held. Teardown only takes the sink's shared
// lock (to log), which no one holds exclusively once an instance is shared,
// so holding the interpreter lock meanwhile cannot deadlock with a callback
// that waits for it on another thread.
void instance_dealloc(PyObject* self) {
    auto* object = reinterpret_cast<InstanceObject*>(self);
    nkcore::InstanceRef instance = std::move(object->instance);
    std::destroy_at(&object->instance);
    Py_TYPE(self)->tp_free(self);
    PendingErrorStash stash;
    release_instance(std::move(instance));
}

void module_dealloc(PyObject* self) {
    auto* object = reinterpret_cast<ModuleObject*>(self);
    std::destroy_at(&object->instance);
    Py_TYPE(self)->tp_free(self);
}

bool ready(PyTypeObject& type, const char* name, Py_ssize_t size, destructor dealloc, const char* doc) {
    if (type.tp_name) return true;  // already readied (module imported again)
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(&type), 1);
    type.tp_name = name;
    type.tp_basicsize = size;
    type.tp_dealloc = dealloc;
    type.tp_flags = Py_TPFLAGS_DEFAULT;  // no Py_TPFLAGS_BASETYPE: no subclasses
    type.tp_doc = doc;
    type.tp_new = nullptr;  // not constructible from Python
    return PyType_Ready(&type) == 0;
}

bool add_type(PyObject* module, const char* name, PyTypeObject& type) {
    Py_INCREF(&type);
    if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(&type)) < 0) {
        Py_DECREF(&type);
        return false;
    }
    return true;
}

}  // namespace

bool add_classes(PyObject* module) {
    return ready(instance_type, "nkpi._sys.Instance", sizeof(InstanceObject), instance_dealloc,
                 "Opaque handle to a running Nimbrask instance exposed to Python callers.") &&
           ready(module_type, "nkpi._sys.Module", sizeof(ModuleObject), module_dealloc,
                 "Opaque handle to a nimbrask module") &&
           add_type(module, "Instance", instance_type) && add_type(module, "Module", module_type);
}

PyObject* wrap_instance(nkcore::InstanceRef instance) {
    PyObject* self = instance_type.tp_alloc(&instance_type, 0);
    if (!self) return nullptr;
    new (&reinterpret_cast<InstanceObject*>(self)->instance) nkcore::InstanceRef(std::move(instance));
    return self;
}

PyObject* wrap_module(nkcore::ModuleKey key, const nkcore::InstanceRef& instance) {
    PyObject* self = module_type.tp_alloc(&module_type, 0);
    if (!self) return nullptr;
    auto* object = reinterpret_cast<ModuleObject*>(self);
    object->key = key;
    new (&object->instance) nkcore::InstanceWeak(instance);
    return self;
}

const nkcore::InstanceRef* instance_of(PyObject* object) {
    if (!PyObject_TypeCheck(object, &instance_type)) return nullptr;
    return &reinterpret_cast<InstanceObject*>(object)->instance;
}

}  // namespace nkpi_sys
