#include <pthread.h>

#include <thread>

#include <gtest/gtest.h>

#include "nkcore/ext/log_record.hpp"
#include "nkcore/ext/nklog/log_plugin.hpp"

namespace nkcore {
namespace {

TEST(LocalTimepoint, FractionUsesShortestExactWidth) {
    struct Case {
        std::uint32_t nanosecond;
        const char* text;
    };
    const Case cases[] = {
        {0, "2024-03-05 07:08:09"},
        {123000000, "2024-03-05 07:08:09.123"},
        {100000000, "2024-03-05 07:08:09.100"},
        {123456000, "2024-03-05 07:08:09.123456"},
        {1000, "2024-03-05 07:08:09.000001"},
        {123456789, "2024-03-05 07:08:09.123456789"},
        {1, "2024-03-05 07:08:09.000000001"},
    };
    for (const Case& c : cases) {
        LocalTimepoint tp{2024, 3, 5, 7, 8, 9, c.nanosecond};
        EXPECT_EQ(tp.to_string(), c.text) << c.nanosecond;
    }
}

TEST(LocalTimepoint, PadsEveryField) {
    LocalTimepoint tp{987, 1, 2, 0, 0, 0, 0};
    EXPECT_EQ(tp.to_string(), "0987-01-02 00:00:00");
}

TEST(LocalTimepoint, NowIsAPlausibleCalendarTime) {
    LocalTimepoint tp = LocalTimepoint::now();
    EXPECT_GE(tp.year, 2024);
    EXPECT_TRUE(tp.month >= 1 && tp.month <= 12);
    EXPECT_TRUE(tp.day >= 1 && tp.day <= 31);
    EXPECT_LT(tp.hour, 24u);
    EXPECT_LT(tp.second, 60u);
    EXPECT_LT(tp.nanosecond, 1'000'000'000u);
}

TEST(LogLevel, Names) {
    EXPECT_EQ(log_level_name(LogLevelEXT::Trace), "Trace");
    EXPECT_EQ(log_level_name(LogLevelEXT::Debug), "Debug");
    EXPECT_EQ(log_level_name(LogLevelEXT::Info), "Info");
    EXPECT_EQ(log_level_name(LogLevelEXT::Warn), "Warn");
    EXPECT_EQ(log_level_name(LogLevelEXT::Error), "Error");
}

TEST(LogRecord, CarriesModuleFileLineAndTime) {
    LogMessageEXT record = make_log_record(LogLevelEXT::Warn, "nkcore::base", "hello", "a.cpp", 42);
    EXPECT_EQ(record.level, LogLevelEXT::Warn);
    EXPECT_EQ(record.message, "hello");
    EXPECT_EQ(record.module, "nkcore::base");
    EXPECT_EQ(record.file, "a.cpp");
    EXPECT_EQ(record.line, 42u);
    EXPECT_GE(record.timepoint.year, 2024);
}

TEST(ThreadName, MainNamedAndUnnamedThreads) {
    EXPECT_EQ(current_thread_name(), "main");

    std::optional<std::string> unnamed = std::string("unset");
    std::thread([&] { unnamed = current_thread_name(); }).join();
    EXPECT_EQ(unnamed, std::nullopt);

    std::optional<std::string> named;
    std::thread([&] {
        ::pthread_setname_np(::pthread_self(), "nk-worker");
        named = current_thread_name();
    }).join();
    EXPECT_EQ(named, "nk-worker");
}

TEST(LogPlugin, StdoutLineForm) {
    LogMessageEXT record;
    record.level = LogLevelEXT::Info;
    record.timepoint = LocalTimepoint{2024, 3, 5, 7, 8, 9, 123000000};
    record.message = "message";
    EXPECT_EQ(stdout_log_line(record), "[Info] 2024-03-05 07:08:09.123 - message");
}

}  // namespace
}  // namespace nkcore
