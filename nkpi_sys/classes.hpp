#pragma once
// The opaque classes Instance and Module: no constructor callable from Python,
// no subclasses, no methods; objects are made only by the module's functions.

#include "nkpi_sys/pyref.hpp"

#include "nkcore/nkcore.hpp"

namespace nkpi_sys {

// Readies both classes and adds them to `module`, Instance first. False with
// a Python exception set on failure.
bool add_classes(PyObject* module);

// A new Instance holding a strong reference; nullptr with an exception set.
PyObject* wrap_instance(nkcore::InstanceRef instance);
// A new Module holding the key and a weak reference to its instance.
PyObject* wrap_module(nkcore::ModuleKey key, const nkcore::InstanceRef& instance);

// The instance held by an Instance object; nullptr when `object` is none.
const nkcore::InstanceRef* instance_of(PyObject* object);

}  // namespace nkpi_sys
