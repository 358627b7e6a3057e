#pragma once
// The logging extension: installs a sink into its instance that filters
// records by level and hands them to the caller's callback or, without one,
// prints them to standard output.

#include <optional>
#include <string>
#include <string_view>

#include "nkcore/ext/nklog/create_info.hpp"
#include "nkcore/ext/plugin.hpp"

namespace nkcore {

class LogPluginEXT final : public StaticPluginEXT<LogPluginEXT> {
public:
    static constexpr std::string_view kName = "__EXT_nimbrask_logger";
    static constexpr std::string_view kDescription = "Nimbrask Logger Extension";
    static nkinstr::Uuid static_uuid();

    // Takes the first LogCreateInfoEXT out of `ext`; without one: level Trace, no callback.
    static std::unique_ptr<LogPluginEXT> create(OpaqueList& ext);

    LogPluginEXT(LogLevelEXT level, std::optional<LogCallbackEXT> callback)
        : level_(level), callback_(std::move(callback)) {}

    void attach_to(InstanceWeak instance) override { instance_ = std::move(instance); }
    // Installs `log_message` as the instance's sink.
    NkStatus initialize() override;
    void teardown() override {}

    LogLevelEXT level() const { return level_; }
    bool has_callback() const { return callback_.has_value(); }

    // Delivers a record that passed the level filter. Safe from several threads
    // at once: the extension does not change after initialisation.
    void deliver(LogMessageEXT record) const;

    // The sink: finds the instance's logging extension, filters, delivers;
    // drops the record when the instance has none.
    static void log_message(const InstanceContext& instance, LogMessageEXT record);

private:
    LogLevelEXT level_;
    InstanceWeak instance_;
    std::optional<LogCallbackEXT> callback_;
};

// "[Info] 2024-03-05 07:08:09.123 - message": the standard-output form, without the line break.
std::string stdout_log_line(const LogMessageEXT& record);

}  // namespace nkcore
