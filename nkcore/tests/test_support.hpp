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

#include "nkcore/base/build_info.hpp"
#include "nkcore/compiler/compiler.hpp"
#include "nkcore/compiler/container.hpp"

namespace nkcore::testing {

// Builds containers from modules made in code, independent of the text reader.
class ContainerBuilder {
public:
    // A function returning its only parameter; well typed when both widths agree.
    ContainerBuilder& identity_function(std::optional<std::string> name, std::uint32_t param_bits,
                                        std::uint32_t return_bits) {
        auto function = std::make_shared<nkinstr::Function>();
        function->uuid = nkinstr::Uuid::new_v4();
        function->name = std::move(name);
        function->params.emplace_back(nkinstr::Name{0}, storage_.type_registry.intern(nkinstr::IType{param_bits}));
        function->return_type = storage_.type_registry.intern(nkinstr::IType{return_bits});
        function->body.emplace(nkinstr::Label{0},
                               nkinstr::BasicBlock{nkinstr::Label{0}, {}, nkinstr::Ret{nkinstr::Operand{nkinstr::Name{0}}}});
        storage_.module.functions.emplace(function->uuid, std::move(function));
        return *this;
    }
    ContainerBuilder& source(std::string name) {
        storage_.source_names.push_back(std::move(name));
        return *this;
    }
    std::vector<std::uint8_t> bytes() const {
        DiscardingLogTarget discard;
        auto encoded = encode(storage_, build_info().value()->package.version, discard);
        EXPECT_TRUE(encoded.ok()) << encoded.error().message();
        return encoded.ok() ? std::move(encoded).value() : std::vector<std::uint8_t>{};
    }
    const nkinstr::Module& module() const { return storage_.module; }

private:
    CompiledModuleStorage storage_;
};

}  // namespace nkcore::testing
