#include "nkcore/ext/log_record.hpp"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace nkcore {

namespace {

constexpr std::size_t kKernelThreadNameMax = 15;  // TASK_COMM_LEN - 1

bool is_main_thread() { return static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid(); }

// The name every thread starts with when nobody names it: the kernel copies
// the program's short name (at most 15 bytes) into each new thread.
std::string_view inherited_default_name() {
    std::string_view program = program_invocation_short_name ? program_invocation_short_name : "";
    return program.substr(0, kKernelThreadNameMax);
}

}  // namespace

std::string_view log_level_name(LogLevelEXT level) {
    switch (level) {
        case LogLevelEXT::Trace: return "Trace";
        case LogLevelEXT::Debug: return "Debug";
        case LogLevelEXT::Info: return "Info";
        case LogLevelEXT::Warn: return "Warn";
        case LogLevelEXT::Error: return "Error";
    }
    return "Unknown";
}

LocalTimepoint LocalTimepoint::now() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm parts{};
    // A time the calendar cannot hold (localtime_r fails) falls back to UTC,
    // and failing that to the epoch; a log record must never fail to be made.
    if (!::localtime_r(&ts.tv_sec, &parts) && !::gmtime_r(&ts.tv_sec, &parts)) return LocalTimepoint{};
    LocalTimepoint tp;
    tp.year = parts.tm_year + 1900;
    tp.month = static_cast<unsigned>(parts.tm_mon + 1);
    tp.day = static_cast<unsigned>(parts.tm_mday);
    tp.hour = static_cast<unsigned>(parts.tm_hour);
    tp.minute = static_cast<unsigned>(parts.tm_min);
    // A leap second (tm_sec 60) is folded into the last regular second.
    tp.second = static_cast<unsigned>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    tp.nanosecond = static_cast<std::uint32_t>(ts.tv_nsec);
    return tp;
}

std::string LocalTimepoint::to_string() const {
    std::string out = fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", year, month, day, hour, minute, second);
    if (nanosecond == 0) return out;
    // The shortest of 3, 6 or 9 digits that shows the fraction exactly.
    if (nanosecond % 1'000'000 == 0) {
        fmt::format_to(std::back_inserter(out), ".{:03}", nanosecond / 1'000'000);
    } else if (nanosecond % 1'000 == 0) {
        fmt::format_to(std::back_inserter(out), ".{:06}", nanosecond / 1'000);
    } else {
        fmt::format_to(std::back_inserter(out), ".{:09}", nanosecond);
    }
    return out;
}

// The process's main thread is called "main". Any other thread has a name
// only when one was given to it: Linux keeps no "unnamed" state, a new thread
// just inherits the program's short name, so that name counts as no name.
std::optional<std::string> current_thread_name() {
    if (is_main_thread()) return std::string("main");
    char buffer[64] = {};
    if (::pthread_getname_np(::pthread_self(), buffer, sizeof buffer) != 0) return std::nullopt;
    std::string_view name(buffer, ::strnlen(buffer, sizeof buffer));
    if (name.empty() || name == inherited_default_name()) return std::nullopt;
    return std::string(name);
}

LogMessageEXT make_log_record(LogLevelEXT level, std::string_view module, std::string message, const char* file,
                              std::uint32_t line) {
    LogMessageEXT record;
    record.level = level;
    record.timepoint = LocalTimepoint::now();
    record.message = std::move(message);
    record.module = std::string(module);
    record.thread_name = current_thread_name();
    if (file) record.file = std::string(file);
    record.line = line;
    return record;
}

}  // namespace nkcore
