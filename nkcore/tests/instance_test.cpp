#include <thread>

#include <gtest/gtest.h>

#include "nkcore/base/build_info.hpp"
#include "nkcore/formal/strategy.hpp"
#include "test_support.hpp"

namespace nkcore {
namespace {

using testing::LogCapture;
using testing::kLogger;

TEST(Instance, CreationRecordsInOrderThenTeardownRecord) {
    LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture);
    ASSERT_TRUE(instance);
    const BuildInfo& build = *build_info().value();
    const std::string address = instance->address_text();
    ASSERT_EQ(address.rfind("0x", 0), 0u);

    std::vector<LogMessageEXT> records = capture.records();
    ASSERT_EQ(records.size(), 5u);
    const std::vector<std::pair<LogLevelEXT, std::string>> expected = {
        {LogLevelEXT::Trace, "Instance created successfully at " + address},
        {LogLevelEXT::Info, "Application 'tests' v1.2.3 using engine 'nkcore' v0.1.2 (node ID: 7)"},
        {LogLevelEXT::Info, "Loaded 1 extensions: [\"__EXT_nimbrask_logger\"]"},
        {LogLevelEXT::Info, build_version_line(build)},
        {LogLevelEXT::Info, build_commit_line(build)},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].level, expected[i].first) << i;
        EXPECT_EQ(records[i].message, expected[i].second) << i;
        EXPECT_EQ(records[i].module, "nkcore::base");
        EXPECT_TRUE(records[i].file.has_value());
        EXPECT_TRUE(records[i].line.has_value());
        EXPECT_EQ(records[i].thread_name, "main");
    }
    EXPECT_EQ(instance->engine_version().major, 0u);
    EXPECT_EQ(instance->engine_version().patch, 2u);

    capture.clear();
    instance.reset();
    ASSERT_EQ(capture.messages(), std::vector<std::string>{"Tearing down InstanceContext at " + address});
    EXPECT_EQ(capture.records()[0].level, LogLevelEXT::Trace);
    // The extension and with it the callback are gone.
    EXPECT_EQ(capture.holders(), 1);
}

TEST(Instance, LevelFilterDropsLowerLevels) {
    LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture, LogLevelEXT::Info);
    ASSERT_TRUE(instance);
    for (LogLevelEXT level : {LogLevelEXT::Trace, LogLevelEXT::Debug, LogLevelEXT::Info, LogLevelEXT::Warn,
                              LogLevelEXT::Error})
        instance->emit(make_log_record(level, "test", std::string(log_level_name(level)), __FILE__, __LINE__));
    instance.reset();  // its Trace record is filtered too

    std::vector<std::string> messages = capture.messages();
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(messages.end() - 3, messages.end()),
              (std::vector<std::string>{"Info", "Warn", "Error"}));
    for (const LogMessageEXT& r : capture.records()) EXPECT_GE(r.level, LogLevelEXT::Info);
}

TEST(Instance, SameExtensionTwiceKeepsTheSecond) {
    LogCapture capture;
    auto info = testing::create_info_with_log(capture, LogLevelEXT::Info, {kLogger, kLogger});
    ::testing::internal::CaptureStdout();
    auto instance = create_instance(std::move(info));
    std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(instance.ok()) << instance.error().message();

    // The first construction took the create-info record and was then replaced;
    // the kept one has no record: level Trace, printed to standard output.
    EXPECT_EQ(instance.value()->extension_count(), 1u);
    EXPECT_TRUE(capture.records().empty());
    EXPECT_EQ(capture.holders(), 1);
    EXPECT_EQ(out.rfind("[Trace] ", 0), 0u) << out;
    EXPECT_NE(out.find(" - Instance created successfully at 0x"), std::string::npos) << out;
    EXPECT_NE(out.find(" - Loaded 1 extensions: [\"__EXT_nimbrask_logger\", \"__EXT_nimbrask_logger\"]\n"),
              std::string::npos)
        << out;
    ::testing::internal::CaptureStdout();
    instance.value().reset();
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("[Trace] "), std::string::npos);
}

TEST(Instance, UnknownExtensionFailsAfterTearingDownTheConstructedOnes) {
    for (const char* name : {"nope", "__EXT_Nimbrask_logger", "__EXT_nimbrask_logger "}) {
        LogCapture capture;
        auto info = testing::create_info_with_log(capture, LogLevelEXT::Trace, {kLogger, name});
        auto instance = create_instance(std::move(info));
        ASSERT_FALSE(instance.ok());
        EXPECT_EQ(instance.error().message(), fmt::format("Plugin with name '{}' not found", name));
        EXPECT_NE(instance.error().get_if<nkerrors::PluginNotFound>(), nullptr);
        // The logger was constructed (it took the callback) but never initialised.
        EXPECT_TRUE(capture.records().empty());
        EXPECT_EQ(capture.holders(), 1);
    }
}

TEST(Instance, CreateInfoRecordsNobodyTakesAreDropped) {
    LogCapture first, second;
    auto info = testing::create_info_with_log(first);
    info.ext.push_back(make_opaque(LogCreateInfoEXT{LogLevelEXT::Trace, second.callback()}));
    auto instance = create_instance(std::move(info));
    ASSERT_TRUE(instance.ok());
    EXPECT_EQ(first.records().size(), 5u);
    EXPECT_TRUE(second.records().empty());
    EXPECT_EQ(second.holders(), 1);

    LogCapture unused;
    auto silent = create_instance(testing::create_info_with_log(unused, LogLevelEXT::Trace, {}));
    ASSERT_TRUE(silent.ok());
    EXPECT_EQ(silent.value()->extension_count(), 0u);
    EXPECT_EQ(unused.holders(), 1);
    ::testing::internal::CaptureStdout();
    NK_LOG(*silent.value(), Error, "test", "dropped");
    silent.value().reset();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(unused.records().empty());
}

TEST(Instance, RecordsFromSeveralThreadsAreAllDelivered) {
    LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture);
    ASSERT_TRUE(instance);
    capture.clear();
    constexpr int kThreads = 4, kRecords = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRecords; ++i) NK_LOG(*instance, Debug, "test", "{}:{}", t, i);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(capture.records().size(), std::size_t(kThreads * kRecords));
}

TEST(Instance, ModuleUuidsAreVersion6WithTheInstanceNode) {
    LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture);
    ASSERT_TRUE(instance);
    nkinstr::Uuid a = instance->next_module_uuid();
    nkinstr::Uuid b = instance->next_module_uuid();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.bytes[6] >> 4, 6);
    EXPECT_EQ((a.bytes[8] & 0xC0), 0x80);
    EXPECT_EQ(std::vector<std::uint8_t>(a.bytes.begin() + 10, a.bytes.end()),
              (std::vector<std::uint8_t>{7, 0, 0, 0, 0, 0}));
}

TEST(Strategies, AxiomStrategyIsRegisteredAndHoldsItsInstanceWeakly) {
    const DerivationStrategyRegistration* registration = find_derivation_strategy("AxiomStrategy");
    ASSERT_NE(registration, nullptr);
    EXPECT_EQ(find_derivation_strategy("axiomstrategy"), nullptr);

    LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture);
    auto strategy = registration->constructor(instance);
    ASSERT_TRUE(strategy.ok());
    std::shared_ptr<DynDerivationStrategy> s = strategy.value();
    EXPECT_NE(s->as<AxiomStrategy>(), nullptr);
    EXPECT_EQ(s->instance().lock(), instance);
    instance.reset();  // the strategy does not keep the instance alive
    s->derive();
    EXPECT_EQ(s->name(), "AxiomStrategy");
    EXPECT_TRUE(s->instance().expired());
}

TEST(Plugins, RegistryHoldsTheLoggerUnderItsFixedIdentity) {
    const PluginRegistration* logger = find_plugin(kLogger);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->description, "Nimbrask Logger Extension");
    const std::uint8_t bytes[16] = {0x20, 0x18, 0x9B, 0x61, 0x72, 0x79, 0x46, 0xFA,
                                    0x9B, 0xA2, 0x5F, 0x03, 0x60, 0xBF, 0x5B, 0x51};
    EXPECT_EQ(logger->uuid, nkinstr::Uuid::from_bytes(bytes));
    EXPECT_EQ(plugin_registry().size(), 1u);
}

}  // namespace
}  // namespace nkcore
