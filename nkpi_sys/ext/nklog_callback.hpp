#pragma once
// The logging extension's Python side: a LogCallbackEXT around a Python
// callable, and the conversion of a record into the dict the callable gets.

#include "nkpi_sys/pyref.hpp"

#include <memory>

#include "nkcore/ext/nklog/create_info.hpp"

namespace nkpi_sys {

// The dict {level, timepoint, message, module, file, line, thread_name}, keys
// in that order; nullptr with a Python exception set on failure. Needs the
// interpreter lock.
PyObject* log_record_to_dict(const nkcore::LogMessageEXT& record);

// A callback holding a strong reference to `callable` (borrowed here; a new
// reference is taken). Callable from any thread: each call takes the
// interpreter lock itself, and the reference is released under the lock by
// whichever thread drops the last copy.
nkcore::LogCallbackEXT make_python_log_callback(PyObject* callable);

}  // namespace nkpi_sys
