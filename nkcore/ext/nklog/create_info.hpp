#pragma once
// The logging extension's create-info record.

#include <functional>

#include "nkcore/ext/log_record.hpp"

namespace nkcore {

// An owned callable taking one record (the binding makes one around a Python callable).
using LogCallbackEXT = std::function<void(LogMessageEXT)>;

struct LogCreateInfoEXT {
    LogLevelEXT level = LogLevelEXT::Trace;  // the minimum level delivered
    LogCallbackEXT callback;                 // empty: print to standard output
};

}  // namespace nkcore
