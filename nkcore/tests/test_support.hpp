#pragma once
// Helpers shared by the engine tests: an instance whose records are captured.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nkcore/base/instance.hpp"
#include "nkcore/ext/nklog/create_info.hpp"
#include "nkcore/ext/nklog/log_plugin.hpp"

namespace nkcore::testing {

inline constexpr const char* kLogger = "__EXT_nimbrask_logger";

// Collects every record delivered to its callback; usable from several threads.
class LogCapture {
public:
    LogCallbackEXT callback() {
        return [self = state_](LogMessageEXT record) {
            std::lock_guard guard(self->mutex);
            self->records.push_back(std::move(record));
        };
    }
    std::vector<LogMessageEXT> records() const {
        std::lock_guard guard(state_->mutex);
        return state_->records;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const LogMessageEXT& r : records()) out.push_back(r.message);
        return out;
    }
    void clear() {
        std::lock_guard guard(state_->mutex);
        state_->records.clear();
    }
    // How many holders the shared state has (this capture plus live callbacks).
    long holders() const { return state_.use_count(); }

private:
    struct State {
        std::mutex mutex;
        std::vector<LogMessageEXT> records;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

inline InstanceCreateInfo create_info_with_log(LogCapture& capture, LogLevelEXT level = LogLevelEXT::Trace,
                                               std::vector<std::string> extensions = {kLogger}) {
    InstanceCreateInfo info;
    info.application_info.application_name = "tests";
    info.application_info.application_version = {1, 2, 3};
    info.application_info.engine_name = "nkcore";
    info.application_info.engine_version = {0, 1, 2};
    info.node_id = 7;
    info.enabled_extensions = std::move(extensions);
    info.ext.push_back(make_opaque(LogCreateInfoEXT{level, capture.callback()}));
    return info;
}

inline InstanceRef make_logged_instance(LogCapture& capture, LogLevelEXT level = LogLevelEXT::Trace) {
    auto instance = create_instance(create_info_with_log(capture, level));
    EXPECT_TRUE(instance.ok()) << instance.error().message();
    return instance.ok() ? std::move(instance).value() : nullptr;
}

}  // namespace nkcore::testing
