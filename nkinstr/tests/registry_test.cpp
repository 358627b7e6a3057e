#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/log.hpp"
#include "nkinstr/utils/siphash.hpp"

using namespace nkinstr;

TEST(Registry, InternsEqualTypesOnce) {
    TypeRegistry reg;
    Typeref i32 = reg.intern(IType{32});
    AnyType s = StructType{{i32, i32}, false};
    Typeref a = reg.search_or_insert(s);
    Typeref b = reg.search_or_insert(s);
    EXPECT_EQ(a, b);
    EXPECT_EQ(reg.len(), 2u);
    EXPECT_NE(reg.search_or_insert(StructType{{i32, i32}, true}), a);
    EXPECT_EQ(reg.type_text(a), "{i32, i32}");
}

namespace {

Typeref ref_of(std::uint8_t first, std::uint8_t last = 0) {
    Typeref r;
    r.uuid.bytes[0] = first;
    r.uuid.bytes[15] = last;
    return r;
}

TEST(Registry, WildcardsHaveFixedReferencesAndAreNotStored) {
    TypeRegistry reg;
    EXPECT_EQ(reg.intern(WildcardType{0}).uuid.to_string(), "ffffffff-ffff-8fff-bfff-ffffffff0000");
    EXPECT_EQ(reg.intern(WildcardType{1}).uuid.to_string(), "ffffffff-ffff-8fff-bfff-ffffffff0100");
    EXPECT_EQ(reg.intern(WildcardType{258}).uuid.to_string(), "ffffffff-ffff-8fff-bfff-ffffffff0201");
    EXPECT_EQ(reg.len(), 0u);
    TypeRegistry other;
    EXPECT_EQ(other.intern(WildcardType{258}), Typeref::wildcard(258));
    EXPECT_EQ(Typeref::wildcard(258).wildcard_index(), 258);
}

TEST(Registry, WildcardTestLooksOnlyAtTheFixedBytes) {
    Typeref w = Typeref::wildcard(7);
    EXPECT_TRUE(w.is_wildcard());
    for (int free_byte : {8, 13, 14, 15}) {
        Typeref r = w;
        r.uuid.bytes[free_byte] ^= 0x5A;
        EXPECT_TRUE(r.is_wildcard()) << free_byte;
    }
    Typeref low_nibble = w;
    low_nibble.uuid.bytes[6] = 0x80;
    EXPECT_TRUE(low_nibble.is_wildcard());
    for (int fixed_byte : {0, 1, 2, 3, 4, 5, 7, 9, 10, 11, 12}) {
        Typeref r = w;
        r.uuid.bytes[fixed_byte] = 0xFE;
        EXPECT_FALSE(r.is_wildcard()) << fixed_byte;
    }
    Typeref version_nibble = w;
    version_nibble.uuid.bytes[6] = 0x6F;
    EXPECT_FALSE(version_nibble.is_wildcard());
}

TEST(Registry, UnknownReferencesAreEmptyAndPrintAsUnknown) {
    TypeRegistry reg;
    const Typeref missing = ref_of(0x12, 0x34);
    EXPECT_FALSE(reg.get(missing));
    EXPECT_EQ(reg.find(missing), nullptr);
    EXPECT_EQ(reg.type_text(missing), "<unknown type 12000000-0000-0000-0000-000000000034>");

    const Typeref i8 = reg.intern(IType{8});
    auto view = reg.get(i8);
    ASSERT_TRUE(view);
    EXPECT_EQ(*view, AnyType{PrimaryType{IType{8}}});
}

TEST(Registry, TypeTexts) {
    TypeRegistry reg;
    const Typeref i8 = reg.intern(IType{8});
    const Typeref i32 = reg.intern(IType{32});
    const Typeref f64 = reg.intern(FType::Fp64);
    struct Case {
        AnyType type;
        std::string text;
    };
    const Case cases[] = {
        {ArrayType{i8, 4}, "[ 4 x i8 ]"},
        {ArrayType{reg.search_or_insert(ArrayType{f64, 3}), 2}, "[ 2 x [ 3 x fp64 ] ]"},
        {StructType{{}, false}, "{}"},
        {StructType{{}, true}, "packed {}"},
        {StructType{{i32, f64}, false}, "{i32, fp64}"},
        {StructType{{i8, i8}, true}, "packed {i8, i8}"},
        {StructType{{i8, reg.search_or_insert(StructType{{i32}, false})}, false}, "{i8, {i32}}"},
        // Components that name no entry: wildcards print their name, the rest as unknown.
        {ArrayType{Typeref::wildcard(0), 2}, "[ 2 x A ]"},
        {StructType{{Typeref::wildcard(30), ref_of(1)}, false},
         "{_30, <unknown type 01000000-0000-0000-0000-000000000000>}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reg.any_type_text(c.type), c.text);
        EXPECT_EQ(reg.type_text(reg.search_or_insert(c.type)), c.text);
    }
}

TEST(Registry, GeneratedReferencesAreVersion6WithClockAndNode) {
    TypeRegistry reg(TypeRegistry::NodeId{1, 2, 3, 4, 5, 6}, 0x4001);
    const Uuid a = reg.intern(IType{1}).uuid;
    const Uuid b = reg.intern(IType{2}).uuid;
    EXPECT_EQ(a.bytes[6] >> 4, 6);           // version
    EXPECT_EQ(a.bytes[8] & 0xC0, 0x80);      // variant
    EXPECT_EQ(a.bytes[8] & 0x3F, 0);         // clock sequence 0x4001 masked to 14 bits ...
    EXPECT_EQ(a.bytes[9], 1);                // ... is 1
    EXPECT_EQ(b.bytes[9], 2);                // the next registration takes the next value
    const std::array<std::uint8_t, 6> node{1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(std::equal(node.begin(), node.end(), a.bytes.begin() + 10));
    EXPECT_EQ(TypeRegistry::for_node(0x04030201).intern(IType{1}).uuid.to_string().substr(24),
              "010203040000");
}

TEST(Registry, ReferencesSortInGenerationOrderAcrossTicks) {
    TypeRegistry reg;
    std::vector<Typeref> refs;
    for (std::uint32_t bits = 1; bits <= 20; ++bits) {
        refs.push_back(reg.intern(IType{bits}));
        std::this_thread::sleep_for(std::chrono::microseconds(2));  // > one 100 ns tick
    }
    EXPECT_TRUE(std::is_sorted(refs.begin(), refs.end()));
    EXPECT_EQ(std::adjacent_find(refs.begin(), refs.end()), refs.end());
    // The timestamp fields alone order them: clear the clock sequence and node.
    auto timestamp_of = [](const Typeref& r) {
        std::uint64_t ts = 0;
        for (int i = 0; i < 8; ++i) ts = ts << 8 | r.uuid.bytes[i];
        return ts;
    };
    for (std::size_t i = 1; i < refs.size(); ++i) EXPECT_LT(timestamp_of(refs[i - 1]), timestamp_of(refs[i]));
}

TEST(Registry, SipHash13MatchesReferenceVectors) {
    // Zero keys; reference values from an independent SipHash-1-3 implementation.
    struct Case {
        std::string_view input;
        std::uint64_t hash;
    };
    const Case cases[] = {
        {"a", 0x407448d2b89b1813ull},
        {"abcdefgh", 0x3f7b849c0b8e35eaull},
        {"abcdefghijklmnopq", 0x61c47e6da27eacccull},
    };
    for (const auto& c : cases) EXPECT_EQ(siphash13(c.input.data(), c.input.size()), c.hash) << c.input;
}

// The content hash is SipHash-1-3 over a fixed little-endian byte layout.
class ContentHashLayout : public ::testing::Test {
protected:
    std::vector<std::uint8_t> bytes;
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) { u8(v & 0xFF), u8(v >> 8); }
    void u32(std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void uuid(const Uuid& u) { bytes.insert(bytes.end(), u.bytes.begin(), u.bytes.end()); }
    std::uint64_t expected() const { return siphash13(bytes.data(), bytes.size()); }
};

TEST_F(ContentHashLayout, Integer) {
    u32(0), u32(0), u32(32);
    EXPECT_EQ(content_hash(PrimaryType{IType{32}}), expected());
}

TEST_F(ContentHashLayout, FloatAndPointerAndLabel) {
    u32(0), u32(1), u32(5);
    EXPECT_EQ(content_hash(PrimaryType{FType::X86Fp80}), expected());
    bytes.clear();
    u32(0), u32(3);
    EXPECT_EQ(content_hash(PrimaryType{PtrType{}}), expected());
    bytes.clear();
    u32(0), u32(6);
    EXPECT_EQ(content_hash(PrimaryType{LabelType{}}), expected());
}

TEST_F(ContentHashLayout, ExtensionType) {
    const Uuid id = *Uuid::parse("00112233-4455-6677-8899-aabbccddeeff");
    u32(0), u32(2), uuid(id), u32(2), u32(3), u32(7);
    EXPECT_EQ(content_hash(PrimaryType{ExtType{id, {3, 7}}}), expected());
}

TEST_F(ContentHashLayout, VectorOfWildcards) {
    u32(0), u32(5), u32(4), u16(300), u32(1), u16(4);
    EXPECT_EQ(content_hash(PrimaryType{VectorType{WildcardType{300}, VcSize{VcSize::Kind::Scalable, 4}}}),
              expected());
}

TEST_F(ContentHashLayout, ArrayAndStruct) {
    const Typeref a = ref_of(0xAA, 1), b = ref_of(0xBB, 2);
    u32(1), uuid(a.uuid), u16(513);
    EXPECT_EQ(content_hash(ArrayType{a, 513}), expected());
    bytes.clear();
    u32(2), u32(2), uuid(a.uuid), uuid(b.uuid), u8(1);
    EXPECT_EQ(content_hash(StructType{{a, b}, true}), expected());
}

// ---- merging ----

TEST(RegistryMerge, MapsEveryReferenceOntoAnEqualType) {
    TypeRegistry source;
    const Typeref s_i8 = source.intern(IType{8});
    const Typeref s_arr = source.search_or_insert(ArrayType{s_i8, 4});
    const Typeref s_struct = source.search_or_insert(StructType{{s_arr, s_i8}, true});

    TypeRegistry target;
    const Typeref t_i8 = target.intern(IType{8});  // already present: must be reused
    target.intern(FType::Fp32);
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    const TypeMap& map = *merged;
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map.at(s_i8), t_i8);
    EXPECT_EQ(target.type_text(map.at(s_arr)), "[ 4 x i8 ]");
    EXPECT_EQ(target.type_text(map.at(s_struct)), "packed {[ 4 x i8 ], i8}");
    EXPECT_EQ(target.len(), 4u);
    EXPECT_EQ(source.len(), 3u);  // never changed

    auto again = target.merge_with(source);  // idempotent
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(*again, map);
    EXPECT_EQ(target.len(), 4u);
}

TEST(RegistryMerge, WildcardComponentsStayAndAreNotMapped) {
    TypeRegistry source;
    const Typeref s_arr = source.search_or_insert(ArrayType{Typeref::wildcard(0), 2});
    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok());
    ASSERT_EQ(merged->size(), 1u);
    EXPECT_FALSE(merged->count(Typeref::wildcard(0)));
    auto view = target.get(merged->at(s_arr));
    ASSERT_TRUE(view);
    EXPECT_EQ(std::get<ArrayType>(*view).element_type, Typeref::wildcard(0));
}

TEST(RegistryMerge, EntriesBeforeTheirComponentsNeedSeveralPasses) {
    // Stored order is by reference bytes, so a struct whose reference sorts
    // first refers to an array sorting second, which refers to i8 sorting last.
    TypeRegistry source;
    const Typeref s_struct = ref_of(0x01), s_arr = ref_of(0x02), s_i8 = ref_of(0x03);
    source.insert_decoded(s_struct, StructType{{s_arr, s_i8}, false});
    source.insert_decoded(s_arr, ArrayType{s_i8, 3});
    source.insert_decoded(s_i8, PrimaryType{IType{8}});

    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    ASSERT_EQ(merged->size(), 3u);
    EXPECT_EQ(target.type_text(merged->at(s_struct)), "{[ 3 x i8 ], i8}");
    EXPECT_EQ(target.len(), 3u);
}

TEST(RegistryMerge, InternsInPassOrder) {
    // Pass 1 takes 0x02, 0x03 (its component 0x02 came earlier in the same
    // pass) and 0x04; 0x01 waits for pass 2. New references are generated in
    // that order, so they sort in it.
    TypeRegistry source;
    source.insert_decoded(ref_of(0x01), StructType{{ref_of(0x03)}, false});
    source.insert_decoded(ref_of(0x02), PrimaryType{IType{8}});
    source.insert_decoded(ref_of(0x03), ArrayType{ref_of(0x02), 2});
    source.insert_decoded(ref_of(0x04), PrimaryType{IType{16}});
    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    const TypeMap& m = *merged;
    EXPECT_LT(m.at(ref_of(0x02)), m.at(ref_of(0x03)));
    EXPECT_LT(m.at(ref_of(0x03)), m.at(ref_of(0x04)));
    EXPECT_LT(m.at(ref_of(0x04)), m.at(ref_of(0x01)));
}

TEST(RegistryMerge, LongBackwardChainMergesWithoutOnePassPerLink) {
    // Entry k is an array of entry k+1; only the last is a scalar. Resolving
    // it pass by pass would take as many passes as entries.
    constexpr std::uint32_t kLength = 50000;
    auto ref_at = [](std::uint32_t k) {
        Typeref r;
        for (int b = 0; b < 4; ++b) r.uuid.bytes[12 + b] = std::uint8_t(k >> (24 - 8 * b));
        return r;
    };
    TypeRegistry source;
    for (std::uint32_t k = 0; k + 1 < kLength; ++k) source.insert_decoded(ref_at(k), ArrayType{ref_at(k + 1), 1});
    source.insert_decoded(ref_at(kLength - 1), PrimaryType{IType{8}});
    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    EXPECT_EQ(merged->size(), kLength);
    EXPECT_EQ(target.len(), kLength);
    const std::string text = target.type_text(merged->at(ref_at(kLength - 3)));
    EXPECT_EQ(text, "[ 1 x [ 1 x i8 ] ]");
}

TEST(RegistryMerge, WildcardKeyOfACorruptRegistryIsIgnored) {
    TypeRegistry source;
    source.insert_decoded(Typeref::wildcard(3), PrimaryType{IType{32}});
    source.insert_decoded(ref_of(0x01), ArrayType{Typeref::wildcard(3), 2});
    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    EXPECT_EQ(merged->size(), 1u);
    EXPECT_EQ(target.type_text(merged->at(ref_of(0x01))), "[ 2 x D ]");
}

TEST(RegistryMerge, EmptyRegistryMergesToNothing) {
    TypeRegistry source, target;
    target.intern(IType{1});
    auto merged = target.merge_with(source);
    ASSERT_TRUE(merged.ok());
    EXPECT_TRUE(merged->empty());
    EXPECT_EQ(target.len(), 1u);
}

TEST(RegistryMerge, DanglingComponentIsReportedInsteadOfLooping) {
    TypeRegistry source;
    const Typeref good = ref_of(0x01), dangling = ref_of(0x02), missing = ref_of(0x7F);
    source.insert_decoded(good, PrimaryType{IType{16}});
    source.insert_decoded(dangling, StructType{{good, missing}, false});
    // A cycle can never resolve either.
    source.insert_decoded(ref_of(0x03), ArrayType{ref_of(0x04), 1});
    source.insert_decoded(ref_of(0x04), ArrayType{ref_of(0x03), 1});

    TypeRegistry target;
    auto merged = target.merge_with(source);
    ASSERT_FALSE(merged.ok());
    EXPECT_NE(merged.error().find(missing.uuid.to_string()), std::string::npos) << merged.error();
    EXPECT_EQ(target.len(), 1u);  // what resolved before the stop stays interned
}

TEST(RegistryMerge, MergingIntoItselfIsTheIdentity) {
    TypeRegistry reg;
    const Typeref a = reg.intern(IType{8});
    const Typeref b = reg.search_or_insert(ArrayType{a, 2});
    auto merged = reg.merge_with(reg);
    ASSERT_TRUE(merged.ok());
    EXPECT_EQ(*merged, (TypeMap{{a, a}, {b, b}}));
    EXPECT_EQ(reg.len(), 2u);
}

// ---- concurrency ----

TEST(RegistryThreads, ConcurrentInterningAgreesOnReferences) {
    TypeRegistry reg;
    constexpr int kThreads = 6;
    constexpr std::uint32_t kTypesPerThread = 300;
    // Thread t interns widths [t*100+1, t*100+300]: neighbours overlap by 200.
    std::vector<std::vector<std::pair<std::uint32_t, Typeref>>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (std::uint32_t k = 1; k <= kTypesPerThread; ++k) {
                const std::uint32_t bits = t * 100 + k;
                const Typeref i = reg.intern(IType{bits});
                const Typeref arr = reg.search_or_insert(ArrayType{i, 2});
                seen[t].emplace_back(bits, i);
                EXPECT_EQ(reg.type_text(arr), "[ 2 x i" + std::to_string(bits) + " ]");
            }
        });
    }
    for (auto& th : threads) th.join();

    std::map<std::uint32_t, Typeref> canonical;
    for (const auto& list : seen)
        for (const auto& [bits, r] : list) {
            auto [it, inserted] = canonical.emplace(bits, r);
            EXPECT_EQ(it->second, r) << "width " << bits;
        }
    const std::size_t distinct = (kThreads - 1) * 100 + kTypesPerThread;
    EXPECT_EQ(canonical.size(), distinct);
    EXPECT_EQ(reg.len(), 2 * distinct);  // each integer and its array once
}

// ---- logging ----

std::mutex g_log_mutex;
std::vector<std::string> g_log_lines;
void capture(nkinstr::log::Level, std::string_view target, std::string_view message) {
    std::lock_guard g(g_log_mutex);
    g_log_lines.push_back(std::string(target) + "|" + std::string(message));
}

TEST(RegistryLog, NewTypesAreLoggedAtDebugLevel) {
    nkinstr::log::set_sink(&capture);
    nkinstr::log::set_max_level(nkinstr::log::Level::Debug);
    TypeRegistry reg;
    const Typeref i8 = reg.intern(IType{8});
    const Typeref arr = reg.search_or_insert(ArrayType{i8, 2});
    reg.intern(IType{8});  // found: nothing logged
    nkinstr::log::set_max_level(nkinstr::log::Level::Off);
    nkinstr::log::set_sink(nullptr);
    ASSERT_EQ(g_log_lines.size(), 2u);
    EXPECT_EQ(g_log_lines[0],
              "nkinstr::types|New type encountered i8. Registered with UUID " + i8.uuid.to_string() + ".");
    EXPECT_EQ(g_log_lines[1], "nkinstr::types|New type encountered [ 2 x i8 ]. Registered with UUID " +
                                  arr.uuid.to_string() + ".");
}

}  // namespace
