#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "nkinstr/encoding/encoding.hpp"

using namespace nkinstr;

namespace {

using Bytes = std::vector<std::uint8_t>;

Uuid uuid_of(std::uint8_t seed) {
    Uuid u;
    for (int i = 0; i < 16; ++i) u.bytes[i] = std::uint8_t(seed + i);
    return u;
}
Typeref ref_of(std::uint8_t seed) { return Typeref{uuid_of(seed)}; }

template <class T>
Bytes encoded(const T& value) {
    VectorSink sink;
    {
        ByteWriter w(sink);
        encode(w, value);
    }
    return sink.bytes;
}

template <class T>
Result<T, std::string> decoded(const Bytes& bytes) {
    ByteReader r(bytes);
    return decode_value<T>(r);
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void append_u32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void append_uuid(Bytes& out, const Uuid& u) { out.insert(out.end(), u.bytes.begin(), u.bytes.end()); }

Operand reg(std::uint32_t id) { return Name{id}; }
Operand imm_int(std::uint32_t bits, BigInt v) { return AnyConst{IConst{IType{bits}, std::move(v)}}; }

// One instance of each of the 37 instructions, using every operand kind.
std::vector<NkInstr> every_instruction() {
    const Typeref t = ref_of(0x10), t2 = ref_of(0x20);
    const Operand a = reg(1);
    const Operand b = imm_int(32, -1);
    const Operand big = imm_int(128, BigInt("-170141183460469231731687303715884105728"));
    const Operand f = AnyConst{FConst{FType::Fp64, Decimal{BigInt(-15), 1}}};
    const Operand fbig = AnyConst{FConst{FType::PPCFp128, Decimal{BigInt("123456789012345678901234567890"), -40}}};
    const Operand fn_int = AnyConst{FunctionPointer{FunctionPointer::Kind::Internal, uuid_of(0x30)}};
    const Operand fn_ext = AnyConst{FunctionPointer{FunctionPointer::Kind::External, uuid_of(0x40)}};
    const Operand undef = Undef{t2};
    return {
        IAdd{{1}, t, a, b, OverflowSignednessPolicy::UTrap},
        ISub{{2}, t, big, a, OverflowSignednessPolicy::SSat},
        IMul{{3}, t, a, undef, OverflowSignednessPolicy::Wrap},
        IDiv{{4}, t, a, b, IntegerSignedness::Unsigned},
        IRem{{5}, t, a, b, IntegerSignedness::Signed},
        ICmp{{6}, t, a, b, ICmpVariant::Sle},
        ISht{{7}, t, a, b, IShiftVariant::Ror},
        INeg{{8}, t, a},
        IAnd{{9}, t, a, b},
        IOr{{10}, t, a, b},
        IXor{{11}, t, a, b},
        INot{{12}, t, a},
        IImplies{{13}, t, a, b},
        IEquiv{{14}, t, a, b},
        FAdd{{15}, t, f, fbig},
        FSub{{16}, t, f, a},
        FMul{{17}, t, f, a},
        FDiv{{18}, t, f, a},
        FRem{{19}, t, f, a},
        FCmp{{20}, t, f, a, FCmpVariant::Ord},
        FNeg{{21}, t, f},
        MLoad{{22}, t, a, 16u, MemoryOrdering::SeqCst, true},
        MStore{a, b, std::nullopt, MemoryOrdering::Unordered, false},
        MAlloca{{24}, t, b, 8u},
        MGetElementPtr{{25}, t, t2, a, {b, a, undef}},
        Invoke{fn_int, {a, b, f}, Name{26}, t, CallingConvention::numbered(77)},
        Invoke{fn_ext, {}, std::nullopt, std::nullopt, std::nullopt},
        Phi{{27}, t, {{a, Label{0}}, {b, Label{3}}}},
        Select{{28}, a, b, undef, t},
        Cast{{29}, t, a, CastVariant::Bitcast},
        InsertValue{{30}, t, a, b, {0, 7}},
        ExtractValue{{31}, t, a, {2}},
        MetaAssert{a},
        MetaAssume{b},
        MetaIsDef{{32}, t, a},
        MetaProb{{33}, t, MetaProbArg{MetaProbVariant::Variance, a}},
        MetaAnalysisStat{{34}, t, InstructionCount{InstructionFlags{0xDEADBEEF}}},
        MetaAnalysisStat{{35}, t, ExecutionCount{}},
        MetaAnalysisStat{{36}, t, TerminationBehavior{ReachAny{{Label{1}, Label{2}}}}},
        MetaAnalysisStat{{37}, t, TerminationBehavior{FunctionExit{}}},
        MetaForall{{38}, t},
    };
}

Module rich_module() {
    Module m;
    auto main_fn = std::make_shared<Function>();
    main_fn->uuid = uuid_of(0x30);
    main_fn->name = "main \xE2\x9C\x93";  // non-ASCII UTF-8
    main_fn->params = {{Name{0}, ref_of(0x10)}, {Name{1}, Typeref::wildcard(3)}};
    main_fn->return_type = ref_of(0x20);
    main_fn->body[Label{0}] = BasicBlock{Label{0}, every_instruction(), Branch{reg(1), Label{1}, Label{2}}};
    main_fn->body[Label{1}] = BasicBlock{Label{1}, {}, Jump{Label{2}}};
    main_fn->body[Label{2}] = BasicBlock{Label{2}, {}, Ret{imm_int(8, 255)}};
    main_fn->body[Label{3}] = BasicBlock{Label{3}, {}, Ret{}};
    main_fn->body[Label{4}] = BasicBlock{Label{4}, {}, Trap{}};
    main_fn->visibility = Visibility::Protected;
    main_fn->cconv = CallingConvention{CallingConvention::Kind::CfguardCheckC, 0};
    main_fn->wildcard_types = {0, 3, 65535};
    main_fn->meta_function = true;
    main_fn->link_uuid = uuid_of(0x50);
    m.functions[main_fn->uuid] = main_fn;

    auto bare = std::make_shared<Function>();
    bare->uuid = uuid_of(0x01);
    bare->body[Label{0}] = BasicBlock{Label{0}, {}, Trap{}};
    m.functions[bare->uuid] = bare;

    m.external_functions[uuid_of(0x40)] =
        ExternalFunction{uuid_of(0x40), "puts", CallingConvention{}, {ref_of(0x10), ref_of(0x20)}, ref_of(0x10)};
    m.external_functions[uuid_of(0x60)] =
        ExternalFunction{uuid_of(0x60), "", CallingConvention::numbered(0xFFFFFFFF), {}, std::nullopt};
    return m;
}

// The 80-byte module of one empty function "main".
Bytes minimal_main_bytes(const Uuid& u) {
    Bytes b;
    append_u32(b, 1);
    append_uuid(b, u);
    append_uuid(b, u);
    append(b, {0x01, 0x04, 0x00, 0x00, 0x00, 'm', 'a', 'i', 'n'});
    append_u32(b, 0);                     // no parameters
    b.push_back(0);                       // no return type
    append_u32(b, 1);                     // one block
    append_u32(b, 0);                     // key
    append_u32(b, 0);                     // label
    append_u32(b, 0);                     // no instructions
    append(b, {0x02, 0x00});              // ret void
    append(b, {0x00, 0x00});              // visibility, calling convention
    append_u32(b, 0);                     // no wildcard types
    append(b, {0x00, 0x00});              // not meta, no link uuid
    append_u32(b, 0);                     // no external functions
    return b;
}

// A source that hands out the data one byte at a time (every read crosses a chunk end).
class TrickleSource final : public ByteSource {
public:
    explicit TrickleSource(const Bytes& data) : data_(data) {}
    Result<std::span<const std::uint8_t>, std::string> next_chunk() override {
        if (pos_ == data_.size()) return std::span<const std::uint8_t>{};
        return std::span<const std::uint8_t>(data_.data() + pos_++, 1);
    }

private:
    const Bytes& data_;
    std::size_t pos_ = 0;
};

}  // namespace

// ---- exact bytes ----

TEST(Encoding, ByteExamples) {
    EXPECT_EQ(encoded(Module{}), Bytes(8, 0));
    EXPECT_EQ(encoded(TypeRegistry{}), Bytes(8, 0));  // the registry count is 64-bit
    EXPECT_EQ(encoded(imm_int(32, -1)), (Bytes{0x01, 0x00, 0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(encoded(reg(5)), (Bytes{0x00, 0x05, 0x00, 0x00, 0x00}));
    Bytes undef{0x02};
    append_uuid(undef, uuid_of(9));
    EXPECT_EQ(encoded(Operand{Undef{ref_of(9)}}), undef);
    EXPECT_EQ(encoded(NkTerminator{Ret{}}), (Bytes{0x02, 0x00}));
    EXPECT_EQ(encoded(NkTerminator{Trap{}}), (Bytes{0x03}));
    EXPECT_EQ(encoded(CallingConvention::numbered(2)), (Bytes{14, 2, 0, 0, 0}));

    Bytes gep{24, 7, 0, 0, 0};  // MGetElementPtr: tag 24, dest, ty, in_ty, base, indices
    append_uuid(gep, uuid_of(1));
    append_uuid(gep, uuid_of(2));
    append(gep, {0, 9, 0, 0, 0, 1, 0, 0, 0, 0, 3, 0, 0, 0});
    EXPECT_EQ(encoded(NkInstr{MGetElementPtr{{7}, ref_of(1), ref_of(2), reg(9), {reg(3)}}}), gep);
    EXPECT_EQ(encoded(NkInstr{MStore{reg(1), reg(2), 4u, std::nullopt, true}}),
              (Bytes{22, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, 1, 4, 0, 0, 0, 0, 1}));
}

TEST(Encoding, MinimalFunctionModuleIs80Bytes) {
    const Uuid u = uuid_of(0xA0);
    Module m;
    auto f = std::make_shared<Function>();
    f->uuid = u;
    f->name = "main";
    f->body[Label{0}] = BasicBlock{Label{0}, {}, Ret{}};
    m.functions[u] = f;

    const Bytes expected = minimal_main_bytes(u);
    ASSERT_EQ(expected.size(), 80u);
    EXPECT_EQ(encoded(m), expected);
    auto back = decoded<Module>(expected);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_TRUE(*back == m);
}

TEST(Encoding, ArbitraryPrecisionIntegers) {
    struct Case {
        const char* value;
        Bytes bytes;  // after the u32 count
    };
    const std::vector<Case> cases = {
        {"0", {0x00}},
        {"1", {0x01}},
        {"-1", {0xFF}},
        {"127", {0x7F}},
        {"128", {0x80, 0x00}},
        {"-128", {0x80}},
        {"255", {0xFF, 0x00}},
        {"-129", {0x7F, 0xFF}},
        {"-32768", {0x00, 0x80}},
        {"9223372036854775807", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"-9223372036854775808", {0, 0, 0, 0, 0, 0, 0, 0x80}},
        {"9223372036854775808", {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}},
        {"-9223372036854775809", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}},
        {"18446744073709551615", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
        {"-18446744073709551616", {0, 0, 0, 0, 0, 0, 0, 0, 0xFF}},
        {"-170141183460469231731687303715884105728", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
        {"170141183460469231731687303715884105728",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}},
    };
    for (const auto& c : cases) {
        const BigInt v(c.value);
        Bytes expected;
        append_u32(expected, std::uint32_t(c.bytes.size()));
        append(expected, c.bytes);
        EXPECT_EQ(encoded(v), expected) << c.value;
        auto back = decoded<BigInt>(expected);
        ASSERT_TRUE(back.ok()) << c.value;
        EXPECT_EQ(*back, v) << c.value;
    }
    // Non-minimal and empty encodings are accepted.
    EXPECT_EQ(*decoded<BigInt>({3, 0, 0, 0, 0xFF, 0xFF, 0xFF}), BigInt(-1));
    EXPECT_EQ(*decoded<BigInt>({12, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), BigInt(5));
    EXPECT_EQ(*decoded<BigInt>({0, 0, 0, 0}), BigInt(0));
    // Decimals: the integer, then the signed 64-bit scale.
    EXPECT_EQ(encoded(Decimal{BigInt(15), -2}), (Bytes{1, 0, 0, 0, 15, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

// ---- round trips ----

TEST(Encoding, EveryInstructionCarriesItsTagAndRoundTrips) {
    for (const NkInstr& i : every_instruction()) {
        const Bytes bytes = encoded(i);
        EXPECT_EQ(bytes.front(), static_cast<std::uint8_t>(i.op()));
        auto back = decoded<NkInstr>(bytes);
        ASSERT_TRUE(back.ok()) << op_debug_name(i.op()) << ": " << back.error();
        EXPECT_TRUE(*back == i) << op_debug_name(i.op());
    }
}

TEST(Encoding, ModuleRoundTripsThroughWholeAndTrickledInput) {
    const Module m = rich_module();
    const Bytes bytes = encoded(m);

    auto whole = decoded<Module>(bytes);
    ASSERT_TRUE(whole.ok()) << whole.error();
    EXPECT_TRUE(*whole == m);

    TrickleSource source(bytes);
    ByteReader r(source);
    auto trickled = decode_module(r);
    ASSERT_TRUE(trickled.ok()) << trickled.error();
    EXPECT_TRUE(*trickled == m);
    EXPECT_EQ(r.position(), bytes.size());
}

TEST(Encoding, DecodingStopsAfterTheValue) {
    Bytes bytes = encoded(Module{});
    append(bytes, {0xEE, 0xEE});
    ByteReader r(bytes);
    EXPECT_TRUE(decode_module(r).ok());
    EXPECT_EQ(r.position(), 8u);
    EXPECT_EQ(r.u8(), 0xEE);
}

TEST(Encoding, RegistryRoundTripsEveryTypeKind) {
    TypeRegistry reg;
    const Typeref i32 = reg.intern(IType{32});
    reg.intern(FType::X86Fp80);
    reg.intern(ExtType{uuid_of(7), {1, 2, 0xFFFFFFFF}});
    reg.intern(PtrType{});
    reg.intern(LabelType{});
    reg.intern(VectorType{FType::Bf16, VcSize{VcSize::Kind::Scalable, 4}});
    reg.intern(VectorType{ExtType{uuid_of(8), {}}, VcSize{VcSize::Kind::Fixed, 65535}});
    reg.intern(VectorType{WildcardType{2}, VcSize{}});
    const Typeref arr = reg.search_or_insert(ArrayType{i32, 12});
    reg.search_or_insert(StructType{{i32, arr, Typeref::wildcard(1)}, true});
    reg.search_or_insert(StructType{{}, false});
    // A wildcard primary type is not registered by interning; a decoded registry may still hold one.
    reg.insert_decoded(ref_of(0xF0), PrimaryType{WildcardType{9}});

    const Bytes bytes = encoded(reg);
    std::uint64_t count;
    std::memcpy(&count, bytes.data(), 8);
    EXPECT_EQ(count, reg.len());

    auto back = decoded<TypeRegistry>(bytes);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_TRUE(back->same_types(reg));
    // The rebuilt index finds existing entries instead of registering again.
    EXPECT_EQ(back->search_or_insert(ArrayType{i32, 12}), arr);
    EXPECT_EQ(back->len(), reg.len());
}

TEST(Encoding, DecodedMapsAreOrderedAndLaterKeysWin) {
    auto ext = [](std::uint8_t seed, const char* name) {
        return ExternalFunction{uuid_of(seed), name, CallingConvention{}, {}, std::nullopt};
    };
    Bytes bytes;
    append_u32(bytes, 0);  // no functions
    append_u32(bytes, 3);
    for (auto [seed, name] : {std::pair{0x50, "b"}, std::pair{0x10, "a"}, std::pair{0x50, "b2"}}) {
        append_uuid(bytes, uuid_of(std::uint8_t(seed)));
        append(bytes, encoded(ext(std::uint8_t(seed), name)));
    }
    auto m = decoded<Module>(bytes);
    ASSERT_TRUE(m.ok()) << m.error();
    ASSERT_EQ(m->external_functions.size(), 2u);
    EXPECT_EQ(m->external_functions.begin()->second.name, "a");
    EXPECT_EQ(m->external_functions.rbegin()->second.name, "b2");

    // Sets too: wildcard indices out of order with a repeat. The function's
    // last bytes are the set (count, indices), the meta flag and the link flag.
    Function f;
    f.body[Label{0}] = BasicBlock{};
    const Bytes plain = encoded(f);
    Bytes unordered(plain.begin(), plain.end() - 6);
    append_u32(unordered, 3);
    append(unordered, {9, 0, 1, 0, 9, 0});
    append(unordered, {0, 0});
    auto back = decoded<Function>(unordered);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back->wildcard_types, (std::set<std::uint16_t>{1, 9}));
}

// ---- malformed input ----

TEST(Encoding, MalformedInputIsRefusedWithItsMessage) {
    const Bytes good = minimal_main_bytes(uuid_of(0xA0));
    // Offsets into the 80-byte module.
    constexpr std::size_t kNameFlag = 4 + 16 + 16;
    constexpr std::size_t kTerminator = kNameFlag + 9 + 4 + 1 + 4 + 4 + 4 + 4;
    constexpr std::size_t kVisibility = kTerminator + 2;
    constexpr std::size_t kMeta = kVisibility + 2 + 4;
    auto patched = [&](std::size_t at, std::uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    auto with_name = [&](Bytes name) {
        Bytes b(good.begin(), good.begin() + kNameFlag);
        b.push_back(1);
        append_u32(b, std::uint32_t(name.size()));
        append(b, name);
        b.insert(b.end(), good.begin() + kNameFlag + 9, good.end());
        return b;
    };
    auto with_instruction = [&](Bytes instr) {
        Bytes b(good.begin(), good.begin() + kTerminator - 4);
        append_u32(b, 1);
        append(b, instr);
        b.insert(b.end(), good.begin() + kTerminator, good.end());
        return b;
    };
    struct Case {
        const char* what;
        Bytes input;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"name flag 2", patched(kNameFlag, 2), "Invalid Option representation: 2. The first byte must be 0 or 1"},
        {"name flag 255", patched(kNameFlag, 255),
         "Invalid Option representation: 255. The first byte must be 0 or 1"},
        {"meta flag 2", patched(kMeta, 2), "Invalid bool representation: 2"},
        {"terminator tag 4", patched(kTerminator, 4), "Unexpected variant tag: 4"},
        {"ret flag 7", patched(kTerminator + 1, 7), "Invalid Option representation: 7. The first byte must be 0 or 1"},
        {"visibility 3", [&] { auto b = patched(kVisibility, 1); b.insert(b.begin() + kVisibility + 1, 3); return b; }(),
         "Unexpected variant tag: 3"},
        {"calling convention 15",
         [&] { auto b = patched(kVisibility + 1, 1); b.insert(b.begin() + kVisibility + 2, 15); return b; }(),
         "Unexpected variant tag: 15"},
        {"instruction tag 37", with_instruction({37}), "Unexpected variant tag: 37"},
        {"operand tag 3", with_instruction({31, 3}), "Unexpected variant tag: 3"},
        {"constant tag 3", with_instruction({31, 1, 3}), "Unexpected variant tag: 3"},
        {"float type 7", with_instruction({31, 1, 1, 7}), "Unexpected variant tag: 7"},
        {"ordering 6", with_instruction({22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 6}), "Unexpected variant tag: 6"},
        {"volatile 2", with_instruction({22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}),
         "Invalid bool representation: 2"},
        {"prob variant 3", with_instruction([] { Bytes b{34}; b.resize(21); b.push_back(3); return b; }()),
         "Unexpected variant tag: 3"},
        {"statistic 3", with_instruction([] { Bytes b{35}; b.resize(21); b.push_back(3); return b; }()),
         "Unexpected variant tag: 3"},
        {"scope 3", with_instruction([] { Bytes b{35}; b.resize(21); b.push_back(2); b.push_back(3); return b; }()),
         "Unexpected variant tag: 3"},
        {"cast variant 12",
         with_instruction([] { Bytes b{28}; b.resize(21); append(b, {0, 0, 0, 0, 0, 12}); return b; }()),
         "Unexpected variant tag: 12"},
        {"bad utf-8", with_name({0xC3, 0x28}), "invalid utf-8 sequence of 1 bytes from index 0"},
        {"cut utf-8", with_name({'a', 'b', 0xE2, 0x82}), "incomplete utf-8 byte sequence from index 2"},
        {"surrogate", with_name({'x', 0xED, 0xA0, 0x80}), "invalid utf-8 sequence of 1 bytes from index 1"},
    };
    for (const auto& c : cases) {
        auto result = decoded<Module>(c.input);
        ASSERT_FALSE(result.ok()) << c.what;
        EXPECT_EQ(result.error(), c.message) << c.what;
    }
}

TEST(Encoding, EveryTruncationReportsTheEndOfInput) {
    const Bytes bytes = encoded(rich_module());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const Bytes prefix(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        auto result = decoded<Module>(prefix);
        ASSERT_FALSE(result.ok()) << n;
        ASSERT_EQ(result.error(), "Unexpected length of input") << n;
    }
}

TEST(Encoding, AnnouncedCountsAllocateNothingAhead) {
    // A block announcing 2^32-1 instructions, a text announcing 4 GiB, a
    // registry announcing 2^40 entries: each fails at the end of the data.
    Bytes block{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 31, 0, 1, 0, 0, 0};
    EXPECT_EQ(decoded<BasicBlock>(block).error(), "Unexpected length of input");
    EXPECT_EQ(decoded<std::string>({0xFF, 0xFF, 0xFF, 0xFF, 'a'}).error(), "Unexpected length of input");
    EXPECT_EQ(decoded<TypeRegistry>({0, 0, 0, 0, 0, 1, 0, 0}).error(), "Unexpected length of input");
    EXPECT_EQ(decoded<BigInt>({0xFF, 0xFF, 0xFF, 0x7F, 1, 2}).error(), "Unexpected length of input");

    auto huge = decoded<TypeRegistry>(Bytes(8, 0xFF));
    ASSERT_FALSE(huge.ok());
    EXPECT_NE(huge.error().find("Type registry entry count 18446744073709551615 exceeds"), std::string::npos);
}

TEST(Encoding, DecodedMemoryIsBounded) {
    // 10,000 MetaAssert instructions of 6 bytes each take far more memory decoded.
    Bytes block{0, 0, 0, 0};
    append_u32(block, 10000);
    for (int i = 0; i < 10000; ++i) append(block, {31, 0, 1, 0, 0, 0});
    block.push_back(3);
    {
        ByteReader r(block);
        EXPECT_TRUE(decode_value<BasicBlock>(r).ok());
    }
    ByteReader r(block);
    r.set_memory_budget(1000 * sizeof(NkInstr));
    auto result = decode_value<BasicBlock>(r);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), fmt::format("Decoded data exceeds the memory limit of {} bytes", 1000 * sizeof(NkInstr)));
}

TEST(Encoding, Utf8Validation) {
    struct Case {
        std::string text;
        std::optional<std::string> error;
    };
    const std::vector<Case> cases = {
        {"", std::nullopt},
        {"plain ascii text longer than eight bytes", std::nullopt},
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", std::nullopt},
        {"\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"abc\xC0\x80", "invalid utf-8 sequence of 1 bytes from index 3"},   // overlong
        {"\xE0\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // overlong
        {"\xF4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // beyond U+10FFFF
        {"\xF5", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"aaaaaaaa\xE2\x82" "A", "invalid utf-8 sequence of 2 bytes from index 8"},
        {"\xF0\x9F\x98" "A", "invalid utf-8 sequence of 3 bytes from index 0"},
        {"\xC3", "incomplete utf-8 byte sequence from index 0"},
        {"ok\xF0\x9F\x98", "incomplete utf-8 byte sequence from index 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_error(c.text), c.error) << c.text;
}

TEST(Encoding, RandomCorruptionNeverEscapesTheDecoder) {
    // Flipped, inserted and dropped bytes in a module rich in every record:
    // each decode either names a problem or yields a module that survives its
    // own round trip.
    const Bytes good = encoded(rich_module());
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = good;
        for (int edits = 1 + int(next() % 3); edits > 0; --edits) {
            const std::size_t at = next() % bytes.size();
            switch (next() % 3) {
                case 0: bytes[at] = std::uint8_t(next()); break;
                case 1: bytes.insert(bytes.begin() + std::ptrdiff_t(at), std::uint8_t(next())); break;
                case 2: bytes.erase(bytes.begin() + std::ptrdiff_t(at)); break;
            }
        }
        ByteReader r(bytes);
        auto result = decode_module(r);
        if (result.ok()) {
            auto again = decoded<Module>(encoded(*result));
            ASSERT_TRUE(again.ok()) << round;
            EXPECT_TRUE(*again == *result) << round;
        } else {
            EXPECT_FALSE(result.error().empty()) << round;
        }
    }
}
