#include <gtest/gtest.h>

#include "test_support.hpp"

namespace nkcore {
namespace {

using testing::LogCapture;

constexpr const char* kAdd =
    "define i32 add(%a: i32, %b: i32) {\n"
    "entry:\n"
    "  %t: i32 = iadd.wrap %a, %b\n"
    "  ret %t\n"
    "}\n";
constexpr const char* kMain =
    "define void main() {\n"
    "entry:\n"
    "  ret void\n"
    "}\n";
constexpr const char* kIllTyped =
    "define i32 bad(%a: i64) {\n"
    "entry:\n"
    "  ret %a\n"
    "}\n";
constexpr const char* kSyntaxError = "define i32 broken(\n";

ModuleSourceInfo source(std::optional<std::string> filename, std::string data) {
    return ModuleSourceInfo{ModuleSourceType::Assembly, std::move(filename), std::move(data)};
}

class CompilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        instance = testing::make_logged_instance(capture);
        ASSERT_TRUE(instance);
        capture.clear();
    }
    NkResult<std::vector<std::uint8_t>> compile(std::vector<ModuleSourceInfo> sources) {
        return compile_sources(*instance, ModuleCompileInfo{std::move(sources)});
    }
    // The driver's own records; the container writer logs under the same module path.
    std::vector<std::string> compiler_messages() const {
        std::vector<std::string> out;
        for (const LogMessageEXT& r : capture.records()) {
            EXPECT_EQ(r.module, "nkcore::compiler");
            if (r.file && r.file->ends_with("nkcore/compiler/compiler.cpp")) out.push_back(r.message);
        }
        return out;
    }

    LogCapture capture;
    InstanceRef instance;
};

TEST_F(CompilerTest, TwoSourcesBecomeOneContainer) {
    auto bytes = compile({source("add.nk", kAdd), source(std::nullopt, kMain)});
    ASSERT_TRUE(bytes.ok()) << bytes.error().message();

    DiscardingLogTarget discard;
    auto stored = decode(bytes.value(), instance->engine_version(), discard);
    ASSERT_TRUE(stored.ok()) << stored.error().message();
    EXPECT_EQ(stored.value().source_names, std::vector<std::string>{"add.nk"});
    std::vector<std::string> names;  // in function (UUID) order, not source order
    for (const auto& [uuid, function] : stored.value().module.functions) names.push_back(*function->name);
    ASSERT_EQ(names.size(), 2u);

    const std::vector<std::string> expected = {
        "Compiling source \"add.nk\"",
        "Compiling source \"<unnamed>\"",
        "Verifying compiled module",
        "Type checking compiled module",
        "Type checking function '" + names[0] + "'",
        "Type checking function '" + names[1] + "'",
        "Compiled successful, module has 2 functions: " + quoted_list(names),
        fmt::format("Produced {} bytes of compiled module storage", bytes.value().size()),
    };
    EXPECT_EQ(compiler_messages(), expected);
}

TEST_F(CompilerTest, EmptySourceListCompilesToAnEmptyModule) {
    auto bytes = compile({});
    ASSERT_TRUE(bytes.ok()) << bytes.error().message();
    std::vector<std::string> messages = compiler_messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "Compiled successful, module has 0 functions: []");
}

TEST_F(CompilerTest, ParseErrorStopsAtTheFailingSource) {
    auto bytes = compile({source("one.nk", kMain), source("two.nk", kSyntaxError), source("three.nk", kAdd)});
    ASSERT_FALSE(bytes.ok());
    ASSERT_NE(bytes.error().get_if<nkerrors::Ir>(), nullptr);
    const std::vector<std::string> expected = {
        "Compiling source \"one.nk\"",
        "Compiling source \"two.nk\"",
        "Failed to compile assembly source \"two.nk\": " + bytes.error().message(),
    };
    EXPECT_EQ(compiler_messages(), expected);
    EXPECT_EQ(capture.records().back().level, LogLevelEXT::Error);
}

TEST_F(CompilerTest, TypeCheckFailureNamesTheFunction) {
    auto bytes = compile({source("bad.nk", kIllTyped)});
    ASSERT_FALSE(bytes.ok());
    const std::string text = bytes.error().message();
    EXPECT_EQ(text.rfind("Type mismatch in instruction", 0), 0u) << text;
    std::vector<std::string> messages = compiler_messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Type check failed for function 'bad': " + text);
    EXPECT_EQ(capture.records().back().level, LogLevelEXT::Error);
}

TEST_F(CompilerTest, CompiledModuleLoadsAndDisassembles) {
    auto bytes = compile({source("add.nk", kAdd)});
    ASSERT_TRUE(bytes.ok()) << bytes.error().message();
    auto key = load_module(instance, bytes.value());
    ASSERT_TRUE(key.ok()) << key.error().message();
    EXPECT_EQ(key.value().debug_string(), "ModuleKey(1v1)");

    auto text = disassemble_module(bytes.value());
    ASSERT_TRUE(text.ok()) << text.error().message();
    EXPECT_NE(text.value().find("add"), std::string::npos) << text.value();

    // What the disassembler prints reads back and compiles again.
    auto again = compile({source("again.nk", text.value())});
    EXPECT_TRUE(again.ok()) << again.error().message();
}

}  // namespace
}  // namespace nkcore
