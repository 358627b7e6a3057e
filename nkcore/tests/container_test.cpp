#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <zstd.h>
#include <zstd_errors.h>

#include "nkcore/compiler/container.hpp"

using namespace nkcore;
using nkinstr::BasicBlock;
using nkinstr::Label;

namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingLog final : public LogTarget {
public:
    void emit(LogMessageEXT record) const override { records.push_back(std::move(record)); }
    mutable std::vector<LogMessageEXT> records;
};

semver::Version version(std::string_view text) { return *semver::Version::parse(text); }

CompiledModuleStorage sample_storage() {
    CompiledModuleStorage s;
    s.source_names = {"main.nk", "lib/util.nk"};
    const nkinstr::Typeref i32 = s.type_registry.intern(nkinstr::IType{32});
    s.type_registry.search_or_insert(nkinstr::ArrayType{i32, 4});

    auto f = std::make_shared<nkinstr::Function>();
    f->uuid.bytes[15] = 1;
    f->name = "main";
    f->return_type = i32;
    f->body[Label{0}] = BasicBlock{
        Label{0},
        {nkinstr::IAdd{{1}, i32, nkinstr::Operand{nkinstr::Name{0}},
                       nkinstr::Operand{nkinstr::AnyConst{nkinstr::IConst{nkinstr::IType{32}, 7}}}}},
        nkinstr::Ret{nkinstr::Operand{nkinstr::Name{1}}}};
    f->params = {{nkinstr::Name{0}, i32}};
    s.module.functions[f->uuid] = f;
    return s;
}

Bytes encode_ok(const CompiledModuleStorage& s, std::string_view engine = "0.1.2") {
    RecordingLog log;
    auto bytes = encode(s, version(engine), log);
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? *bytes : Bytes{};
}

// A container with the given requirement text in front of an arbitrary frame.
Bytes container(std::string_view requirement, const Bytes& frame) {
    Bytes b(std::begin(kContainerMagic), std::end(kContainerMagic));
    for (char c : requirement) b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0);
    b.insert(b.end(), frame.begin(), frame.end());
    return b;
}

Bytes compress(const Bytes& payload) {
    Bytes frame(ZSTD_compressBound(payload.size()));
    frame.resize(ZSTD_compress(frame.data(), frame.size(), payload.data(), payload.size(), 3));
    return frame;
}

// The payload of an empty storage: no source names, empty module, empty registry.
Bytes empty_payload() { return Bytes(4 + 8 + 8, 0); }

}  // namespace

TEST(Container, RoundTripWithHeaderLayoutAndTrace) {
    const CompiledModuleStorage s = sample_storage();
    RecordingLog log;
    auto bytes = encode(s, version("0.1.2+build.7"), log);
    ASSERT_TRUE(bytes.ok());
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].level, LogLevelEXT::Trace);
    EXPECT_EQ(log.records[0].module, "nkcore::compiler");
    EXPECT_EQ(log.records[0].message, "Serializing compiled module storage (module has 1 functions)");

    // Magic, "=0.1.2" (no build metadata), 00, then a zstd frame at offset 15.
    const Bytes& b = *bytes;
    ASSERT_GT(b.size(), 19u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 15),
              (Bytes{0x7F, 'N', 'K', 'M', 'O', 'D', 'I', 'R', '=', '0', '.', '1', '.', '2', 0x00}));
    EXPECT_EQ(Bytes(b.begin() + 15, b.begin() + 19), (Bytes{0x28, 0xB5, 0x2F, 0xFD}));

    RecordingLog read_log;
    auto back = decode(b, version("0.1.2"), read_log);
    ASSERT_TRUE(back.ok()) << back.error().message();
    EXPECT_EQ(back->source_names, s.source_names);
    EXPECT_TRUE(back->module == s.module);
    EXPECT_TRUE(back->type_registry.same_types(s.type_registry));
    ASSERT_EQ(read_log.records.size(), 1u);
    EXPECT_EQ(read_log.records[0].message, fmt::format("Deserializing compiled module storage ({} bytes)", b.size()));
}

TEST(Container, EmptyStorageRoundTrips) {
    const Bytes b = encode_ok(CompiledModuleStorage{});
    RecordingLog log;
    auto back = decode(b, version("0.1.2"), log);
    ASSERT_TRUE(back.ok()) << back.error().message();
    EXPECT_TRUE(back->source_names.empty());
    EXPECT_TRUE(back->module.functions.empty() && back->module.external_functions.empty());
    EXPECT_EQ(back->type_registry.len(), 0u);
}

TEST(Container, PreReleaseEnginesWriteAndReadTheirOwnVersion) {
    const Bytes b = encode_ok(CompiledModuleStorage{}, "1.0.0-alpha.2+x");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 23), std::string("=1.0.0-alpha.2", 15));  // with its 00
    RecordingLog log;
    EXPECT_TRUE(decode(b, version("1.0.0-alpha.2"), log).ok());
    EXPECT_FALSE(decode(b, version("1.0.0"), log).ok());
}

TEST(Container, WildcardRequirementLoadsIntoReleasedEngines) {
    const Bytes b = container("*", compress(empty_payload()));
    RecordingLog log;
    EXPECT_TRUE(decode(b, version("0.1.2"), log).ok());
    EXPECT_TRUE(decode(b, version("7.3.0+meta"), log).ok());
    EXPECT_FALSE(decode(b, version("7.3.0-rc.1"), log).ok());
}

TEST(Container, RefusalsCarryTheirMessages) {
    const Bytes good = encode_ok(sample_storage(), "1.2.3");
    Bytes bad_magic = good;
    bad_magic[0] = 0x00;
    Bytes reserved_bit = {0x28, 0xB5, 0x2F, 0xFD, 0x08};  // frame header with its reserved bit set
    reserved_bit.resize(32, 0);
    Bytes corrupt_frame = container("=1.2.4", reserved_bit);
    Bytes not_zstd = container("=1.2.4", Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    Bytes short_payload = container("=1.2.4", compress(Bytes(4 + 8, 0)));

    struct Case {
        const char* what;
        Bytes input;
        std::string engine;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "1.2.4", "failed to fill whole buffer"},
        {"short magic", Bytes(good.begin(), good.begin() + 7), "1.2.4", "failed to fill whole buffer"},
        {"magic only", Bytes(good.begin(), good.begin() + 8), "1.2.4", "failed to fill whole buffer"},
        {"no terminator", Bytes(good.begin(), good.begin() + 14), "1.2.4", "failed to fill whole buffer"},
        {"bad magic", bad_magic, "1.2.3", "Invalid magic bytes in compiled module storage"},
        {"requirement not utf-8", container("=1.\xFF", {}), "1.2.3",
         "Invalid UTF-8 in version requirement: invalid utf-8 sequence of 1 bytes from index 3"},
        {"requirement cut utf-8", container("=1.2.3\xE2\x82", {}), "1.2.3",
         "Invalid UTF-8 in version requirement: incomplete utf-8 byte sequence from index 6"},
        {"requirement unparsable", container("=1.2.3 junk", {}), "1.2.3",
         "Invalid version requirement format: unexpected character ' ' after version"},
        {"empty requirement", container("", {}), "1.2.3",
         "Invalid version requirement format: empty string, expected a version requirement"},
        {"newer engine", good, "1.2.4", "Incompatible compiled module storage version: required =1.2.3, found 1.2.4"},
        {"found with pre-release and build", good, "1.2.3-rc.1+b.2",
         "Incompatible compiled module storage version: required =1.2.3, found 1.2.3-rc.1+b.2"},
        {"bare requirement printed as caret", container("2.0", {}), "1.2.3",
         "Incompatible compiled module storage version: required ^2.0, found 1.2.3"},
        {"corrupt frame", corrupt_frame, "1.2.4", ZSTD_getErrorString(ZSTD_error_frameParameter_unsupported)},
        {"not zstd", not_zstd, "1.2.4", ZSTD_getErrorString(ZSTD_error_prefix_unknown)},
        {"no frame", container("=1.2.4", {}), "1.2.4", "Unexpected length of input"},
        {"payload too short", short_payload, "1.2.4", "Unexpected length of input"},
    };
    for (const auto& c : cases) {
        RecordingLog log;
        auto result = decode(c.input, version(c.engine), log);
        ASSERT_FALSE(result.ok()) << c.what;
        ASSERT_NE(result.error().get_if<nkerrors::Unknown>(), nullptr) << c.what;
        EXPECT_EQ(result.error().get_if<nkerrors::Unknown>()->message, c.message) << c.what;
        EXPECT_EQ(result.error().message(), "An unknown error occurred: " + c.message) << c.what;
        ASSERT_EQ(log.records.size(), 2u) << c.what;
        EXPECT_EQ(log.records[1].level, LogLevelEXT::Error) << c.what;
        EXPECT_EQ(log.records[1].module, "nkcore::compiler") << c.what;
        EXPECT_EQ(log.records[1].message, "Failed to read compiled module storage header: " + c.message) << c.what;
    }
}

TEST(Container, MalformedPayloadStopsAtTheDecodersMessage) {
    Bytes payload = empty_payload();
    payload[4] = 1;  // one function announced: key, UUID, then a name flag of 2
    payload.resize(4 + 4 + 16 + 16);
    payload.push_back(2);
    RecordingLog log;
    auto result = decode(container("=0.1.2", compress(payload)), version("0.1.2"), log);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message(),
              "An unknown error occurred: Invalid Option representation: 2. The first byte must be 0 or 1");
}

TEST(Container, EveryTruncationFailsCleanly) {
    const Bytes good = encode_ok(sample_storage());
    for (std::size_t n = 0; n < good.size(); ++n) {
        RecordingLog log;
        auto result = decode(std::span(good.data(), n), version("0.1.2"), log);
        ASSERT_FALSE(result.ok()) << n;
        const auto& message = result.error().get_if<nkerrors::Unknown>()->message;
        if (n < 15)
            EXPECT_EQ(message, "failed to fill whole buffer") << n;
        else
            EXPECT_EQ(message, "Unexpected length of input") << n;
    }
}

TEST(Container, DecompressionBombStopsAtTheCap) {
    // 0xFFFFFFFF empty source names, 4 bytes each: 64 MiB of zeros that
    // compress to a few kilobytes and would keep the decoder busy for 16 GiB.
    Bytes payload(std::size_t(64) << 20, 0);
    std::memset(payload.data(), 0xFF, 4);
    const Bytes bomb = container("=0.1.2", compress(payload));
    ASSERT_LT(bomb.size(), 64u * 1024);

    constexpr std::uint64_t kCap = 4 << 20;
    RecordingLog log;
    auto result = decode(bomb, version("0.1.2"), log, kCap);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().get_if<nkerrors::Unknown>()->message,
              fmt::format("Decompressed compiled module payload exceeds the limit of {} bytes", kCap));
    EXPECT_EQ(kMaxPayloadBytes, std::uint64_t(1) << 30);
}

// Throughput of the container reader on a module of a million instructions
// (a mix of arithmetic with constants, memory, phis, selects and calls).
// Run with --gtest_also_run_disabled_tests --gtest_filter='*MillionInstructions*'.
TEST(Container, DISABLED_DecodeMillionInstructions) {
    using namespace nkinstr;
    CompiledModuleStorage s;
    const Typeref i64 = s.type_registry.intern(IType{64});
    const Typeref f64 = s.type_registry.intern(FType::Fp64);
    const Typeref ptr = s.type_registry.intern(PtrType{});
    constexpr int kFunctions = 16, kBlocks = 64, kPerBlock = 1000000 / (kFunctions * kBlocks);
    std::size_t count = 0;
    for (int fi = 0; fi < kFunctions; ++fi) {
        auto f = std::make_shared<Function>();
        f->uuid.bytes[0] = std::uint8_t(fi + 1);
        f->name = "f" + std::to_string(fi);
        f->params = {{Name{0}, i64}};
        f->return_type = i64;
        std::uint32_t next = 1;
        for (std::uint32_t b = 0; b < kBlocks; ++b) {
            BasicBlock block{Label{b}, {}, Jump{Label{b + 1}}};
            if (b + 1 == kBlocks) block.terminator = Ret{Operand{Name{next - 1}}};
            for (int k = 0; k < kPerBlock; ++k, ++next) {
                const Operand prev = Name{next - 1};
                switch (k % 6) {
                    case 0: block.instructions.push_back(IAdd{{next}, i64, prev, AnyConst{IConst{IType{64}, 3}}}); break;
                    case 1: block.instructions.push_back(ICmp{{next}, i64, prev, AnyConst{IConst{IType{64}, 1000}}, ICmpVariant::Slt}); break;
                    case 2: block.instructions.push_back(MLoad{{next}, i64, prev, 8u, std::nullopt, false}); break;
                    case 3: block.instructions.push_back(FAdd{{next}, f64, prev, AnyConst{FConst{FType::Fp64, Decimal{BigInt(15), 1}}}}); break;
                    case 4: block.instructions.push_back(Select{{next}, prev, prev, Name{0}, i64}); break;
                    case 5: block.instructions.push_back(Invoke{AnyConst{FunctionPointer{FunctionPointer::Kind::Internal, f->uuid}}, {prev, Name{0}}, Name{next}, ptr, std::nullopt}); break;
                }
                ++count;
            }
            f->body[Label{b}] = std::move(block);
        }
        s.module.functions[f->uuid] = f;
    }
    RecordingLog log;
    const auto t0 = std::chrono::steady_clock::now();
    const Bytes bytes = encode_ok(s);
    const auto t1 = std::chrono::steady_clock::now();
    auto cpu_seconds = [] {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    };
    double best = 1e9, best_cpu = 1e9;
    for (int rep = 0; rep < 5; ++rep) {
        const auto a = std::chrono::steady_clock::now();
        const double ca = cpu_seconds();
        auto back = decode(bytes, version("0.1.2"), log);
        const double cb = cpu_seconds();
        const auto b = std::chrono::steady_clock::now();
        ASSERT_TRUE(back.ok());
        best = std::min(best, std::chrono::duration<double>(b - a).count());
        best_cpu = std::min(best_cpu, cb - ca);
    }
    std::printf("%zu instructions, container %zu bytes; encode %.3f s; best decode %.3f s wall, %.3f s CPU "
                "(%.1f M instr/s of CPU)\n",
                count, bytes.size(), std::chrono::duration<double>(t1 - t0).count(), best, best_cpu,
                double(count) / best_cpu / 1e6);
}
