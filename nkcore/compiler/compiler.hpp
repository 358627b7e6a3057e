#pragma once
// The compiler driver and module loading (entry points in nkcore/nkcore.hpp).

#include "nkcore/ext/log_record.hpp"

namespace nkcore {

// A log target that drops every record (tools that run without an instance).
class DiscardingLogTarget final : public LogTarget {
public:
    void emit(LogMessageEXT) const override {}
};

}  // namespace nkcore
