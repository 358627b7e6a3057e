#include "nkcore/ext/nklog/log_plugin.hpp"

#include <cstdio>

#include "nkcore/base/instance.hpp"

namespace nkcore {

nkinstr::Uuid LogPluginEXT::static_uuid() {
    static const nkinstr::Uuid uuid = *nkinstr::Uuid::parse("20189b61-7279-46fa-9ba2-5f0360bf5b51");
    return uuid;
}

std::unique_ptr<LogPluginEXT> LogPluginEXT::create(OpaqueList& ext) {
    std::optional<LogCreateInfoEXT> info = take_first<LogCreateInfoEXT>(ext);
    if (!info) return std::make_unique<LogPluginEXT>(LogLevelEXT::Trace, std::nullopt);
    std::optional<LogCallbackEXT> callback;
    if (info->callback) callback = std::move(info->callback);
    return std::make_unique<LogPluginEXT>(info->level, std::move(callback));
}

NkStatus LogPluginEXT::initialize() {
    InstanceRef instance = instance_.lock();
    if (!instance) return nkinstr::fail(NkError(nkerrors::Unknown{"logging extension initialised without an instance"}));
    instance->install_log_sink(&LogPluginEXT::log_message);
    return {};
}

void LogPluginEXT::deliver(LogMessageEXT record) const {
    if (callback_) {
        (*callback_)(std::move(record));
        return;
    }
    std::string line = stdout_log_line(record);
    line += '\n';
    // One write per line keeps lines from several threads whole.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void LogPluginEXT::log_message(const InstanceContext& instance, LogMessageEXT record) {
    const LogPluginEXT* plugin = instance.find_extension<LogPluginEXT>(static_uuid());
    if (!plugin || record.level < plugin->level_) return;
    plugin->deliver(std::move(record));
}

std::string stdout_log_line(const LogMessageEXT& record) {
    return fmt::format("[{}] {} - {}", log_level_name(record.level), record.timepoint.to_string(), record.message);
}

}  // namespace nkcore
