#pragma once
// The module's functions, in the order the module initializer adds them.

#include "nkpi_sys/pyref.hpp"

namespace nkpi_sys {

extern PyMethodDef module_functions[];

}  // namespace nkpi_sys
