#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "nkinstr/modules/module.hpp"

using namespace nkinstr;

namespace {

TEST(CallingConventions, PrintAndParse) {
    using K = CallingConvention::Kind;
    const std::pair<CallingConvention, std::string_view> words[] = {
        {{K::C}, "cc"},
        {{K::FastC}, "fastcc"},
        {{K::ColdC}, "coldcc"},
        {{K::GhcC}, "ghccc"},
        {{K::HipeC}, "hipecc"},
        {{K::AnyRegC}, "anyregcc"},
        {{K::PreserveMostC}, "preservemostcc"},
        {{K::PreserveAllC}, "preserveallcc"},
        {{K::PreserveNoneC}, "preservenonecc"},
        {{K::CxxFastTlsC}, "cxx_fast_tlscc"},
        {{K::TailC}, "tailcc"},
        {{K::SwiftC}, "swiftcc"},
        {{K::SwiftTailC}, "swifttailcc"},
        {{K::CfguardCheckC}, "cfguard_checkcc"},
        {CallingConvention::numbered(0), "cc0"},
        {CallingConvention::numbered(10), "cc10"},
        {CallingConvention::numbered(4294967295u), "cc4294967295"},
    };
    for (const auto& [cc, word] : words) {
        EXPECT_EQ(cc.to_string(), word);
        EXPECT_EQ(CallingConvention::parse(word), cc) << word;
    }
    EXPECT_EQ(CallingConvention::parse("cc+10"), CallingConvention::numbered(10));
    EXPECT_EQ(CallingConvention::parse("cc007"), CallingConvention::numbered(7));
    for (std::string_view bad : {"", "c", "cc-1", "cc+", "cc-", "cc++1", "cc4294967296", "cc1x", "cc 1", "CC", "fastcc1",
                                 "ccfast", "Numbered"})
        EXPECT_EQ(CallingConvention::parse(bad), std::nullopt) << bad;
    EXPECT_EQ(CallingConvention::numbered(10).debug_name(), "Numbered(10)");
    EXPECT_EQ(CallingConvention{K::CxxFastTlsC}.debug_name(), "CxxFastTlsC");
}

TEST(Visibilities, ParseExactlyTheirWords) {
    EXPECT_EQ(parse_visibility("default"), Visibility::Default);
    EXPECT_EQ(parse_visibility("hidden"), Visibility::Hidden);
    EXPECT_EQ(parse_visibility("protected"), Visibility::Protected);
    EXPECT_EQ(parse_visibility("Hidden"), std::nullopt);
    EXPECT_EQ(visibility_text(Visibility::Protected), "protected");
}

TEST(Constants, TextForms) {
    struct Case {
        std::int64_t unscaled;
        std::int64_t scale;
        std::string_view text;
    };
    const Case decimals[] = {
        {15, 1, "1.5"},
        {150, 2, "1.50"},
        {-5, 3, "-0.005"},
        {0, 2, "0.00"},
        {250, 0, "250"},
        {25, -1, "250"},
        {0, -5, "0"},
        {7, 40, "7e-40"},
        {123, -40, "1.23e42"},
        {-1, std::numeric_limits<std::int64_t>::min(), "-1e9223372036854775808"},
        {1, std::numeric_limits<std::int64_t>::max(), "1e-9223372036854775807"},
    };
    for (const auto& c : decimals) EXPECT_EQ(to_string(Decimal{BigInt(c.unscaled), c.scale}), c.text);

    std::string s;
    append_text(s, IConst{IType{8}, BigInt(-1)});
    EXPECT_EQ(s, "i8 -1");
    s.clear();
    append_text(s, IConst::from_u64(18446744073709551615ull));
    EXPECT_EQ(s, "i64 18446744073709551615");
    s.clear();
    append_text(s, FConst{FType::Bf16, Decimal{BigInt(15), 1}});
    EXPECT_EQ(s, "bf16 1.5");
    EXPECT_NE((FConst{FType::Fp32, Decimal{BigInt(15), 1}}), (FConst{FType::Fp32, Decimal{BigInt(150), 2}}));
}

// BigInt keeps int64 values inline and wider ones on the heap; the boundary
// between the two must be invisible to value, text, equality and order.
TEST(Constants, BigIntAcrossTheInlineBoundary) {
    const BigInt min64 = std::numeric_limits<std::int64_t>::min();
    const BigInt max64 = std::numeric_limits<std::int64_t>::max();
    const BigInt max_u64 = std::numeric_limits<std::uint64_t>::max();
    const BigInt past_min = BigInt(BigInt::Wide(min64.to_wide() - 1));
    const BigInt past_max = -min64;  // 2^63 no longer fits inline
    EXPECT_TRUE(min64.is_small() && max64.is_small());
    EXPECT_FALSE(past_max.is_small() || max_u64.is_small() || past_min.is_small());
    EXPECT_EQ(past_max.str(), "9223372036854775808");
    EXPECT_EQ(max_u64.str(), "18446744073709551615");
    EXPECT_EQ(past_min.str(), "-9223372036854775809");
    EXPECT_EQ(-past_max, min64);
    EXPECT_TRUE((-past_max).is_small());  // back inline: equality relies on it
    EXPECT_EQ(BigInt(BigInt::Wide(42)), BigInt(42));
    EXPECT_EQ(BigInt(static_cast<__int128>(1) << 100).str(), "1267650600228229401496703205376");

    const std::vector<BigInt> ascending = {past_min, min64, BigInt(-1), BigInt(0), max64, past_max, max_u64};
    for (std::size_t i = 0; i < ascending.size(); ++i)
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            EXPECT_EQ(ascending[i] < ascending[j], i < j) << i << " " << j;
            EXPECT_EQ(ascending[i] == ascending[j], i == j) << i << " " << j;
        }

    BigInt copy = max_u64;
    copy = copy;  // self-assignment keeps the heap value
    EXPECT_EQ(copy, max_u64);
    copy = BigInt(7);
    EXPECT_EQ(copy.convert_to<int>(), 7);
    EXPECT_EQ(max_u64.sign(), 1);
    EXPECT_EQ(past_min.sign(), -1);
    EXPECT_EQ(BigInt(0).sign(), 0);
}

TEST(Constants, TypesAreInterned) {
    TypeRegistry reg;
    const AnyConst p1 = FunctionPointer{FunctionPointer::Kind::Internal, Uuid::new_v4()};
    const AnyConst p2 = FunctionPointer{FunctionPointer::Kind::External, Uuid::new_v4()};
    EXPECT_EQ(const_typeref(p1, reg), const_typeref(p2, reg));
    EXPECT_EQ(reg.type_text(const_typeref(p1, reg)), "ptr");
    EXPECT_EQ(reg.type_text(const_typeref(IConst{IType{8}, BigInt(300)}, reg)), "i8");
    EXPECT_EQ(reg.type_text(const_typeref(FConst{FType::PPCFp128, {}}, reg)), "ppc_fp128");
    EXPECT_EQ(reg.len(), 3u);
}

TEST(Instructions, MnemonicsParseExactly) {
    EXPECT_EQ(parse_instr_op("getelementptr"), NkInstrOp::MGetElementPtr);
    EXPECT_EQ(static_cast<int>(*parse_instr_op("getelementptr")), 24);
    for (int i = 0; i < kInstrOpCount; ++i) {
        const auto op = static_cast<NkInstrOp>(i);
        EXPECT_EQ(parse_instr_op(opname(op)), op);
    }
    for (std::string_view bad : {"getelement", "", "IAdd", "assert", "iadd.wrap", "ret"})
        EXPECT_EQ(parse_instr_op(bad), std::nullopt) << bad;
    EXPECT_EQ(opname(NkInstrOp::IAnd), "and");
    EXPECT_EQ(op_debug_name(NkInstrOp::MetaAnalysisStat), "MetaAnalysisStat");
    EXPECT_EQ(parse_terminator_op("trap"), NkTerminatorOp::Trap);
    EXPECT_EQ(parse_terminator_op("Trap"), std::nullopt);
}

TEST(Instructions, InterfaceAccessors) {
    const Typeref t = Typeref::wildcard(0), u = Typeref::wildcard(1);
    auto operands = [](const NkInstr& i) {
        std::vector<Operand> out;
        i.for_each_operand([&](const Operand& o) { out.push_back(o); });
        return out;
    };
    auto types = [](const NkInstr& i) {
        std::vector<Typeref> out;
        i.for_each_referenced_type([&](const Typeref& r) { out.push_back(r); });
        return out;
    };
    const NkInstr call = Invoke{Name{9}, {Name{1}, Name{2}}, std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(call.destination(), std::nullopt);
    EXPECT_EQ(call.destination_type(), std::nullopt);
    EXPECT_EQ(operands(call), (std::vector<Operand>{Name{9}, Name{1}, Name{2}}));
    EXPECT_TRUE(types(call).empty());

    const NkInstr phi = Phi{Name{5}, t, {{Name{1}, Label{0}}, {Name{2}, Label{1}}, {Name{3}, Label{2}}}};
    EXPECT_EQ(operands(phi), (std::vector<Operand>{Name{1}, Name{2}, Name{3}}));

    const NkInstr forall = MetaForall{Name{0}, t};
    EXPECT_TRUE(operands(forall).empty());
    EXPECT_EQ(types(forall), std::vector<Typeref>{t});
    EXPECT_TRUE(operands(MetaAnalysisStat{Name{0}, t, ExecutionCount{}}).empty());

    const NkInstr gep = MGetElementPtr{Name{3}, t, u, Name{0}, {Name{1}, Name{2}}};
    EXPECT_EQ(types(gep), (std::vector<Typeref>{t, u}));
    EXPECT_EQ(operands(gep), (std::vector<Operand>{Name{0}, Name{1}, Name{2}}));

    const NkInstr store = MStore{Name{0}, Name{1}, std::nullopt, std::nullopt, false};
    EXPECT_EQ(store.destination(), std::nullopt);
    EXPECT_TRUE(types(store).empty());
    EXPECT_EQ(operands(Select{Name{4}, Name{1}, Name{2}, Name{3}, t}),
              (std::vector<Operand>{Name{1}, Name{2}, Name{3}}));
    EXPECT_EQ(operands(MetaProb{Name{1}, t, {MetaProbVariant::Variance, Name{0}}}), std::vector<Operand>{Name{0}});

    NkInstr remapped = gep;
    remapped.remap_types(TypeMap{{u, t}});
    EXPECT_EQ(types(remapped), (std::vector<Typeref>{t, t}));
}

TEST(Terminators, SuccessorsAndOperands) {
    auto successors = [](const NkTerminator& t) {
        std::vector<Label> out;
        t.for_each_successor([&](Label l) { out.push_back(l); });
        return out;
    };
    auto operand_count = [](const NkTerminator& t) {
        int n = 0;
        t.for_each_operand([&](const Operand&) { ++n; });
        return n;
    };
    EXPECT_EQ(successors(Branch{Name{0}, Label{2}, Label{1}}), (std::vector<Label>{Label{2}, Label{1}}));
    EXPECT_EQ(operand_count(Branch{Name{0}, Label{2}, Label{1}}), 1);
    EXPECT_EQ(successors(Jump{Label{3}}), std::vector<Label>{Label{3}});
    EXPECT_EQ(operand_count(Ret{}), 0);
    EXPECT_EQ(operand_count(Ret{Name{1}}), 1);
    EXPECT_TRUE(successors(Trap{}).empty());
    EXPECT_EQ(operand_count(Trap{}), 0);
}

TEST(Functions, DefaultFunction) {
    const Function f = Function::make_default();
    EXPECT_EQ(f.uuid.bytes[6] >> 4, 4);  // random (version 4)
    EXPECT_FALSE(f.name);
    EXPECT_TRUE(f.params.empty());
    EXPECT_FALSE(f.return_type);
    ASSERT_EQ(f.body.size(), 1u);
    const auto& [label, block] = *f.body.begin();
    EXPECT_EQ(label, Label{0});
    EXPECT_EQ(block.label, Label{0});
    EXPECT_TRUE(block.instructions.empty());
    EXPECT_EQ(block.terminator, NkTerminator{Trap{}});
    EXPECT_FALSE(f.visibility || f.cconv || f.link_uuid || f.meta_function);
    EXPECT_TRUE(f.wildcard_types.empty());
    EXPECT_NE(Function::make_default().uuid, f.uuid);
    EXPECT_EQ(f.display_name(), f.uuid.to_string());
}

class ModuleLookup : public ::testing::Test {
protected:
    Module m;
    static Uuid id(std::uint8_t first) {
        Uuid u;
        u.bytes[0] = first;
        return u;
    }
    void add(std::uint8_t first, std::optional<std::string> name) {
        auto f = std::make_shared<Function>(Function::make_default());
        f->uuid = id(first);
        f->name = std::move(name);
        m.functions[f->uuid] = f;
    }
    void add_external(std::uint8_t first, std::string name) {
        m.external_functions[id(first)] = ExternalFunction{id(first), std::move(name), {}, {}, {}};
    }
};

TEST_F(ModuleLookup, FindsFirstByUuidAndKeepsInternalAndExternalApart) {
    add(0x30, "dup");
    add(0x10, "dup");
    add(0x20, std::nullopt);
    add(0x40, "main");
    add_external(0x05, "puts");
    add_external(0x50, "dup");
    using K = FunctionPointer::Kind;
    EXPECT_EQ(m.find_function_uuid_by_name("dup", false), (FunctionPointer{K::Internal, id(0x10)}));
    EXPECT_EQ(m.find_function_uuid_by_name("main", false), (FunctionPointer{K::Internal, id(0x40)}));
    EXPECT_EQ(m.find_function_uuid_by_name("dup", true), (FunctionPointer{K::External, id(0x50)}));
    EXPECT_EQ(m.find_function_uuid_by_name("puts", true), (FunctionPointer{K::External, id(0x05)}));
    EXPECT_EQ(m.find_function_uuid_by_name("puts", false), std::nullopt);
    EXPECT_EQ(m.find_function_uuid_by_name("main", true), std::nullopt);
    EXPECT_EQ(m.find_function_uuid_by_name("", false), std::nullopt);  // the unnamed one is never found
    EXPECT_EQ(m.find_function_uuid_by_name(id(0x20).to_string(), false), std::nullopt);
}

TEST_F(ModuleLookup, EqualityComparesFunctionsByValue) {
    add(0x10, "a");
    Module copy;
    for (const auto& [uuid, f] : m.functions) copy.functions[uuid] = std::make_shared<Function>(*f);
    EXPECT_TRUE(m == copy);
    copy.functions.begin()->second->name = "b";
    EXPECT_FALSE(m == copy);
    copy.functions.begin()->second = nullptr;
    EXPECT_FALSE(m == copy);
    EXPECT_FALSE(copy == m);
}

}  // namespace
