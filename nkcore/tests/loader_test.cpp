#include <gtest/gtest.h>

#include "test_support.hpp"

namespace nkcore {
namespace {

using testing::ContainerBuilder;
using testing::LogCapture;

// Records of the loading steps only (creation records cleared first).
class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        instance = testing::make_logged_instance(capture);
        ASSERT_TRUE(instance);
        capture.clear();
    }
    NkResult<ModuleKey> load(const std::vector<std::uint8_t>& bytes) { return load_module(instance, bytes); }

    LogCapture capture;
    InstanceRef instance;
};

TEST_F(LoaderTest, LoadsUnderIncreasingKeysWithRecordsInOrder) {
    ContainerBuilder builder;
    builder.identity_function("main", 32, 32).source("a.nk").source("b.nk");
    const std::vector<std::uint8_t> bytes = builder.bytes();
    const std::size_t instance_types = instance->type_registry().len();

    auto first = load(bytes);
    ASSERT_TRUE(first.ok()) << first.error().message();
    EXPECT_EQ(first.value().debug_string(), "ModuleKey(1v1)");

    auto module = instance->module(first.value());
    ASSERT_TRUE(module);
    const std::vector<std::pair<LogLevelEXT, std::string>> expected = {
        {LogLevelEXT::Trace, fmt::format("Loaded compiled module with 1 functions from {} bytes", bytes.size())},
        {LogLevelEXT::Trace, "Module originally compiled from: a.nk, b.nk"},
        {LogLevelEXT::Trace,
         fmt::format("Merging type registry (1 types) into instance's registry ({} types)", instance_types)},
        {LogLevelEXT::Trace, "Verifying module before adding to instance"},
        {LogLevelEXT::Trace, "Type checking function 'main'"},
        {LogLevelEXT::Info, fmt::format("Module with UUID {} added to instance. Contains functions: [\"main\"]",
                                        module->uuid().to_string())},
        {LogLevelEXT::Trace, "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)"},
    };
    std::vector<LogMessageEXT> records = capture.records();
    // The container reader may add records of its own before ours.
    ASSERT_GE(records.size(), expected.size());
    records.erase(records.begin(), records.end() - expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].level, expected[i].first) << i;
        EXPECT_EQ(records[i].message, expected[i].second) << i;
        EXPECT_EQ(records[i].module, i < 3 ? "nkcore::compiler" : "nkcore::base") << i;
    }

    auto second = load(bytes);
    ASSERT_TRUE(second.ok()) << second.error().message();
    EXPECT_EQ(second.value().debug_string(), "ModuleKey(2v1)");
    EXPECT_EQ(instance->module_count(), 2u);
    EXPECT_NE(instance->module(second.value())->uuid(), module->uuid());
}

TEST_F(LoaderTest, ModuleContextHoldsFunctionsAnalysesAndAnEmptyTheoremLibrary) {
    ContainerBuilder builder;
    builder.identity_function("f", 16, 16).identity_function(std::nullopt, 8, 8);
    auto key = load(builder.bytes());
    ASSERT_TRUE(key.ok()) << key.error().message();
    auto module = instance->module(key.value());
    ASSERT_TRUE(module);
    EXPECT_EQ(module->key(), key.value());
    EXPECT_EQ(module->instance().lock(), instance);
    EXPECT_EQ(module->uuid().bytes[6] >> 4, 6);  // version 6
    EXPECT_TRUE(module->theorems().empty());
    ASSERT_EQ(module->functions().size(), 2u);
    for (const auto& [uuid, function] : module->module().functions) {
        auto context = module->functions().find(uuid);
        ASSERT_TRUE(context.has_value());
        // One shared function, held by the module and by its context.
        EXPECT_EQ((*context)->function(), function);
        EXPECT_EQ((*context)->analysis().function.get(), function.get());
        EXPECT_EQ((*context)->attached_count(), 0u);
        // Every type reference now names an instance type.
        EXPECT_NE(instance->type_registry().find(function->params[0].second), nullptr);
    }
    // The unnamed function is shown by its UUID after "@".
    std::string unnamed;
    for (const auto& [uuid, function] : module->module().functions)
        if (!function->name) unnamed = "@" + uuid.to_string();
    const std::vector<std::string> messages = capture.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Type checking function '" + unnamed + "'"), messages.end());
}

TEST_F(LoaderTest, IllTypedModuleFailsAndConsumesNoKey) {
    ContainerBuilder bad;
    bad.identity_function("bad", 64, 32);
    auto failed = load(bad.bytes());
    ASSERT_FALSE(failed.ok());
    ASSERT_NE(failed.error().get_if<nkerrors::Ir>(), nullptr);
    const std::string text = failed.error().message();
    EXPECT_EQ(text.rfind("Type mismatch in instruction", 0), 0u) << text;
    std::vector<LogMessageEXT> records = capture.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().level, LogLevelEXT::Error);
    EXPECT_EQ(records.back().message, "Type check failed for function 'bad': " + text);
    EXPECT_EQ(instance->module_count(), 0u);

    ContainerBuilder good;
    good.identity_function("good", 32, 32);
    auto key = load(good.bytes());
    ASSERT_TRUE(key.ok()) << key.error().message();
    EXPECT_EQ(key.value(), (ModuleKey{1, 1}));
}

TEST_F(LoaderTest, ModuleWithoutFunctionsOrSourceNames) {
    auto bytes = ContainerBuilder().bytes();
    auto key = load(bytes);
    ASSERT_TRUE(key.ok()) << key.error().message();
    std::vector<std::string> messages = capture.messages();
    auto has = [&](const std::string& text) {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    };
    EXPECT_TRUE(has(fmt::format("Loaded compiled module with 0 functions from {} bytes", bytes.size())));
    EXPECT_TRUE(has("Module originally compiled from: "));
    const std::string uuid = instance->module(key.value())->uuid().to_string();
    EXPECT_TRUE(has("Module with UUID " + uuid + " added to instance. Contains functions: []"));
}

TEST_F(LoaderTest, BytesThatAreNotAContainerLeaveTheInstanceUnchanged) {
    const std::size_t types = instance->type_registry().len();
    for (const std::vector<std::uint8_t>& bytes :
         {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'n', 'o', 'p', 'e'}, std::vector<std::uint8_t>(64, 0xFF)}) {
        auto key = load(bytes);
        ASSERT_FALSE(key.ok());
        EXPECT_FALSE(key.error().message().empty());
    }
    EXPECT_EQ(instance->module_count(), 0u);
    EXPECT_EQ(instance->type_registry().len(), types);
    for (const std::string& m : capture.messages()) EXPECT_EQ(m.find("ModuleContext inserted"), std::string::npos);
}

TEST_F(LoaderTest, AModuleDoesNotKeepItsInstanceAlive) {
    ContainerBuilder builder;
    builder.identity_function("main", 32, 32);
    auto key = load(builder.bytes());
    ASSERT_TRUE(key.ok());
    std::shared_ptr<const ModuleContext> module = instance->module(key.value());
    InstanceWeak weak = instance;
    instance.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(module->instance().expired());
    EXPECT_EQ(capture.messages().back().rfind("Tearing down InstanceContext at 0x", 0), 0u);
}

}  // namespace
}  // namespace nkcore
