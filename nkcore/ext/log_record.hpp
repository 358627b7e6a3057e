#pragma once
// Log records and the interface through which engine code emits them.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace nkcore {

enum class LogLevelEXT : std::uint8_t { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4 };
std::string_view log_level_name(LogLevelEXT level);  // "Trace", ..., "Error"

// Local wall-clock date and time without time zone, nanosecond resolution.
struct LocalTimepoint {
    int year = 1970;
    unsigned month = 1, day = 1, hour = 0, minute = 0, second = 0;
    std::uint32_t nanosecond = 0;

    static LocalTimepoint now();
    // 2024-03-05 07:08:09 with .3/.6/.9 fraction digits when the sub-second part is not zero.
    std::string to_string() const;
};

struct LogMessageEXT {
    LogLevelEXT level = LogLevelEXT::Trace;
    LocalTimepoint timepoint;
    std::string message;
    std::string module;                    // "nkcore::base", "nkcore::compiler"
    std::optional<std::string> thread_name;
    std::optional<std::string> file;
    std::optional<std::uint32_t> line;
};

// Something engine code can address records to (an instance).
class LogTarget {
public:
    virtual ~LogTarget() = default;
    virtual void emit(LogMessageEXT record) const = 0;
};

// Builds a record with the current time, thread name, module, file and line.
LogMessageEXT make_log_record(LogLevelEXT level, std::string_view module, std::string message, const char* file,
                              std::uint32_t line);

// The name of the calling thread, when it has one.
std::optional<std::string> current_thread_name();

}  // namespace nkcore

// NK_LOG(target, Info, "nkcore::base", "format {}", args...)
#define NK_LOG(target, LEVEL, MODULE, ...)                                                                  \
    (target).emit(::nkcore::make_log_record(::nkcore::LogLevelEXT::LEVEL, MODULE, ::fmt::format(__VA_ARGS__), \
                                            __FILE__, __LINE__))
