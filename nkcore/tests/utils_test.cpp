#include <thread>

#include <gtest/gtest.h>

#include "nkcore/theorems/library.hpp"
#include "nkcore/utils/sharded_map.hpp"
#include "nkcore/utils/slot_map.hpp"

namespace nkcore {
namespace {

TEST(SlotMap, KeysStartAtOneAndStaleKeysMissAfterReuse) {
    SlotMap<std::string> map;
    SlotKey a = map.insert("a");
    SlotKey b = map.insert("b");
    EXPECT_EQ(a, (SlotKey{1, 1}));
    EXPECT_EQ(b, (SlotKey{2, 1}));
    EXPECT_EQ(map.get(SlotKey{0, 0}), nullptr);
    EXPECT_EQ(map.get(SlotKey{3, 1}), nullptr);

    EXPECT_EQ(map.remove(a), "a");
    EXPECT_EQ(map.remove(a), std::nullopt);
    SlotKey c = map.insert("c");
    EXPECT_EQ(c, (SlotKey{1, 2}));  // slot reused under a new version
    EXPECT_EQ(map.get(a), nullptr);
    ASSERT_NE(map.get(c), nullptr);
    EXPECT_EQ(*map.get(c), "c");
    EXPECT_EQ(map.size(), 2u);
}

TEST(ShardedMap, ConcurrentInsertsAreAllKept) {
    ShardedMap<int, int> map;
    constexpr int kThreads = 4, kPerThread = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) map.insert(t * kPerThread + i, i);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(map.size(), std::size_t(kThreads * kPerThread));
    EXPECT_EQ(map.find(2 * kPerThread + 7), 7);
    EXPECT_EQ(map.find(-1), std::nullopt);
    EXPECT_FALSE(map.insert(5, 0));  // replaced, not new
}

TEST(TheoremLibrary, StartsEmptyAndStoresTheorems) {
    auto library = TheoremLibrary::create();
    EXPECT_TRUE(library->empty());
    nkinstr::Uuid key = nkinstr::Uuid::new_v4();
    auto theorem = std::make_shared<Theorem>();
    theorem->name = "t";
    EXPECT_TRUE(library->insert(key, theorem));
    EXPECT_EQ(library->find(key), theorem);
    EXPECT_EQ(library->find(nkinstr::Uuid{}), nullptr);
}

}  // namespace
}  // namespace nkcore
