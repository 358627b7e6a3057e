#include <gtest/gtest.h>

#include "nkinstr/types/aggregate.hpp"

using namespace nkinstr;

namespace {

const Uuid kExt = *Uuid::parse("0190f1c2-8a3b-6c4d-9e5f-123456789abc");

TEST(PrimaryTypes, TextForms) {
    using K = VcSize::Kind;
    struct Case {
        PrimaryType type;
        std::string_view text;
    };
    const Case cases[] = {
        {IType{1}, "i1"},
        {IType{8388607}, "i8388607"},
        {FType::Fp16, "fp16"},
        {FType::Bf16, "bf16"},
        {FType::Fp32, "fp32"},
        {FType::Fp64, "fp64"},
        {FType::Fp128, "fp128"},
        {FType::X86Fp80, "x86_fp80"},
        {FType::PPCFp128, "ppc_fp128"},
        {PtrType{}, "ptr"},
        {LabelType{}, "label"},
        {WildcardType{0}, "A"},
        {WildcardType{25}, "Z"},
        {WildcardType{26}, "_26"},
        {WildcardType{65535}, "_65535"},
        {ExtType{kExt, {}}, "ext<0190f1c2-8a3b-6c4d-9e5f-123456789abc>"},
        {ExtType{kExt, {3, 7}}, "ext<0190f1c2-8a3b-6c4d-9e5f-123456789abc>(3, 7)"},
        {ExtType{kExt, {4294967295u}}, "ext<0190f1c2-8a3b-6c4d-9e5f-123456789abc>(4294967295)"},
        {VectorType{IType{32}, {K::Fixed, 4}}, "<4 x i32>"},
        {VectorType{FType::Fp64, {K::Scalable, 2}}, "<vscale 2 x fp64>"},
        {VectorType{IType{1}, {K::Scalable, 4}}, "<vscale 4 x i1>"},
        {VectorType{WildcardType{0}, {K::Fixed, 8}}, "<8 x A>"},
        {VectorType{WildcardType{27}, {K::Fixed, 65535}}, "<65535 x _27>"},
        {VectorType{PtrType{}, {K::Fixed, 2}}, "<2 x ptr>"},
        {VectorType{ExtType{kExt, {1}}, {K::Fixed, 2}}, "<2 x ext<0190f1c2-8a3b-6c4d-9e5f-123456789abc>(1)>"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_string(c.type), c.text);
}

TEST(PrimaryTypes, IntegerWidthIsCheckedOnlyByCreate) {
    struct Case {
        std::uint32_t bits;
        bool ok;
    };
    for (const Case c : {Case{0, false}, Case{1, true}, Case{64, true}, Case{8388607, true},
                         Case{8388608, false}, Case{4294967295u, false}}) {
        auto r = IType::create(c.bits);
        ASSERT_EQ(r.ok(), c.ok) << c.bits;
        if (c.ok)
            EXPECT_EQ(r->num_bits, c.bits);
        else
            EXPECT_EQ(r.error(), "cannot create IType with width " + std::to_string(c.bits) +
                                     " (must be between 1 and 8388607)");
    }
}

TEST(PrimaryTypes, FloatFormatsParseFromTheirWordsOnly) {
    for (int i = 0; i < kFTypeCount; ++i) {
        const auto t = static_cast<FType>(i);
        EXPECT_EQ(parse_ftype(ftype_text(t)), t);
    }
    for (std::string_view bad : {"", "fp8", "FP32", "fp32 ", "Fp32", "f32", "x86_fp"})
        EXPECT_EQ(parse_ftype(bad), std::nullopt) << bad;
}

TEST(PrimaryTypes, EqualityAndHashAreStructural) {
    using K = VcSize::Kind;
    const PrimaryType fixed = VectorType{IType{8}, {K::Fixed, 4}};
    const PrimaryType scalable = VectorType{IType{8}, {K::Scalable, 4}};
    EXPECT_NE(fixed, scalable);
    EXPECT_NE(content_hash(fixed), content_hash(scalable));
    EXPECT_EQ(fixed, (PrimaryType{VectorType{IType{8}, {K::Fixed, 4}}}));
    EXPECT_NE((PrimaryType{ExtType{kExt, {1, 2}}}), (PrimaryType{ExtType{kExt, {2, 1}}}));
    EXPECT_NE(PrimaryType{IType{1}}, PrimaryType{FType::Fp16});
    EXPECT_EQ(content_hash(PrimaryType{ExtType{kExt, {1, 2}}}), content_hash(PrimaryType{ExtType{kExt, std::vector<std::uint32_t>{1, 2}}}));
}

TEST(AggregateTypes, ComponentsAreListedInOrder) {
    const Typeref a = Typeref::wildcard(1), b = Typeref::wildcard(2);
    auto components = [](const AnyType& t) {
        std::vector<Typeref> out;
        for_each_component(t, [&](const Typeref& r) { out.push_back(r); });
        return out;
    };
    EXPECT_TRUE(components(PrimaryType{PtrType{}}).empty());
    EXPECT_EQ(components(ArrayType{a, 3}), std::vector<Typeref>{a});
    EXPECT_EQ(components(StructType{{b, a, b}, false}), (std::vector<Typeref>{b, a, b}));
    EXPECT_NE((AnyType{StructType{{a, b}, false}}), (AnyType{StructType{{a, b}, true}}));
    EXPECT_NE((AnyType{StructType{{a, b}, false}}), (AnyType{StructType{{b, a}, false}}));
    EXPECT_EQ(Typeref::wildcard(0).debug_string(), "Typeref(ffffffff-ffff-8fff-bfff-ffffffff0000)");
}

TEST(Uuids, TextFormAndOrdering) {
    const auto u = Uuid::parse("00112233-4455-6677-8899-AABBCCDDEEFF");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->to_string(), "00112233-4455-6677-8899-aabbccddeeff");
    for (std::string_view bad : {"", "00112233445566778899aabbccddeeff", "00112233-4455-6677-8899-aabbccddeefg",
                                 "00112233-4455-6677-8899_aabbccddeeff", "00112233-4455-6677-8899-aabbccddeeff0"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    // Byte-wise unsigned ordering: 0x80 sorts after 0x7f.
    EXPECT_LT(*Uuid::parse("7f000000-0000-0000-0000-000000000000"),
              *Uuid::parse("80000000-0000-0000-0000-000000000000"));
    const Uuid v4 = Uuid::new_v4();
    EXPECT_EQ(v4.bytes[6] >> 4, 4);
    EXPECT_EQ(v4.bytes[8] & 0xC0, 0x80);
    EXPECT_NE(v4, Uuid::new_v4());
}

}  // namespace
