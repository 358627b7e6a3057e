// Several threads compiling and loading into one instance at once: no module
// may be lost, keys must be distinct, and every loaded type reference must
// resolve in the shared registry.

#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace nkcore {
namespace {

TEST(Concurrency, CompileAndLoadFromSeveralThreads) {
    testing::LogCapture capture;
    InstanceRef instance = testing::make_logged_instance(capture);
    ASSERT_TRUE(instance);

    constexpr int kThreads = 4;
    constexpr int kRounds = 8;
    std::mutex keys_mutex;
    std::vector<ModuleKey> keys;
    std::atomic<int> failures{0};

    auto worker = [&](int thread) {
        for (int round = 0; round < kRounds; ++round) {
            // Each thread uses its own integer width, so registries really merge new types.
            const int bits = 8 + thread * kRounds + round;
            std::string text = fmt::format(
                "define i{0} f{1}_{2}(%a: i{0}) {{\nentry:\n  ret %a\n}}\n", bits, thread, round);
            auto bytes = compile_sources(*instance, ModuleCompileInfo{{ModuleSourceInfo{
                                                        ModuleSourceType::Assembly, fmt::format("t{}.nk", thread), text}}});
            if (!bytes.ok()) {
                ++failures;
                continue;
            }
            auto key = load_module(instance, bytes.value());
            if (!key.ok()) {
                ++failures;
                continue;
            }
            // And a module built in code, so loading is exercised whatever the text reader accepts.
            testing::ContainerBuilder builder;
            builder.identity_function(fmt::format("g{}_{}", thread, round), 200 + bits, 200 + bits);
            auto second = load_module(instance, builder.bytes());
            if (!second.ok()) {
                ++failures;
                continue;
            }
            std::lock_guard guard(keys_mutex);
            keys.push_back(key.value());
            keys.push_back(second.value());
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    ASSERT_EQ(keys.size(), std::size_t(2 * kThreads * kRounds));
    EXPECT_EQ(instance->module_count(), keys.size());
    std::set<std::uint32_t> indices;
    for (const ModuleKey& key : keys) {
        EXPECT_EQ(key.version, 1u);
        indices.insert(key.index);
        auto module = instance->module(key);
        ASSERT_TRUE(module);
        EXPECT_EQ(module->key(), key);
        for (const auto& [uuid, function] : module->module().functions) {
            for (const auto& [name, type] : function->params)
                EXPECT_NE(instance->type_registry().find(type), nullptr);
            EXPECT_TRUE(module->functions().contains(uuid));
        }
    }
    // Distinct and dense: 1..N.
    ASSERT_EQ(indices.size(), keys.size());
    EXPECT_EQ(*indices.begin(), 1u);
    EXPECT_EQ(*indices.rbegin(), keys.size());
}

}  // namespace
}  // namespace nkcore
