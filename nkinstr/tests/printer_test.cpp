#include <gtest/gtest.h>

#include <memory>

#include "nkinstr/modules/fmt/printer.hpp"

using namespace nkinstr;

namespace {

Operand reg(std::uint32_t n) { return Name{n}; }
Operand i32c(long long v) { return AnyConst{IConst{IType{32}, BigInt(v)}}; }
Operand fconst(FType t, long long unscaled, std::int64_t scale) {
    return AnyConst{FConst{t, Decimal{BigInt(unscaled), scale}}};
}

Uuid uuid_of(std::uint8_t last) {
    Uuid u;
    u.bytes[15] = last;
    return u;
}

class PrinterTest : public ::testing::Test {
protected:
    TypeRegistry reg_;
    Typeref i1_ = reg_.intern(IType{1});
    Typeref i8_ = reg_.intern(IType{8});
    Typeref i32_ = reg_.intern(IType{32});
    Typeref i64_ = reg_.intern(IType{64});
    Typeref ptr_ = reg_.intern(PtrType{});
    Typeref arr_ = reg_.search_or_insert(ArrayType{i8_, 4});
    Module module_;

    PrintContext ctx() const { return {&reg_, &module_}; }
    std::string diag(const NkInstr& i) const { return instruction_text(i, ctx()); }

    std::shared_ptr<Function> add_function(Uuid id, std::optional<std::string> name) {
        auto f = std::make_shared<Function>(Function::make_default());
        f->uuid = id;
        f->name = std::move(name);
        module_.functions[id] = f;
        return f;
    }
    void add_external(Uuid id, std::string name) {
        module_.external_functions[id] = ExternalFunction{id, std::move(name), CallingConvention{}, {ptr_}, i32_};
    }
};

TEST_F(PrinterTest, NamesLabelsAndTerminators) {
    std::string s;
    append_name(s, Name{3});
    s += ' ';
    append_label(s, Label{7});
    EXPECT_EQ(s, "%3 block_7");

    EXPECT_EQ(terminator_text(Branch{reg(1), Label{1}, Label{2}}, ctx()), "branch %1, block_1, block_2");
    EXPECT_EQ(terminator_text(Jump{Label{4}}, ctx()), "jump label block_4");
    EXPECT_EQ(terminator_text(Ret{reg(5)}, ctx()), "ret %5");
    EXPECT_EQ(terminator_text(Ret{}, ctx()), "ret void");
    EXPECT_EQ(terminator_text(Trap{}, {}), "trap");
}

TEST_F(PrinterTest, InstructionsDiagnosticForm) {
    struct Case {
        NkInstr instr;
        std::string text;
    };
    const Case cases[] = {
        {ICmp{Name{3}, i32_, reg(1), reg(2), ICmpVariant::Eq}, "%3: i32 = icmp.eq  %1, %2"},
        {IAdd{Name{2}, i32_, reg(0), i32c(-1), OverflowSignednessPolicy::USat}, "%2: i32 = iadd.usat  %0, i32 -1"},
        {IDiv{Name{2}, i32_, reg(0), reg(1), IntegerSignedness::Unsigned}, "%2: i32 = idiv.unsigned  %0, %1"},
        {ISht{Name{2}, i32_, reg(0), reg(1), IShiftVariant::Asr}, "%2: i32 = isht.asr  %0, %1"},
        {FCmp{Name{2}, i1_, reg(0), reg(1), FCmpVariant::Ord}, "%2: i1 = fcmp.ord  %0, %1"},
        {INot{Name{1}, i1_, reg(0)}, "%1: i1 = not %0"},
        {IImplies{Name{2}, i1_, reg(0), reg(1)}, "%2: i1 = implies %0, %1"},
        {MLoad{Name{1}, i32_, reg(0), 4u, std::nullopt, false}, "%1: i32 = load %0, align 4"},
        {MLoad{Name{1}, i32_, reg(0), 4u, MemoryOrdering::SeqCst, false},
         "%1: i32 = load %0, atomic seq_cst, align 4"},
        {MLoad{Name{1}, i32_, reg(0), std::nullopt, std::nullopt, true}, "%1: i32 = load volatile %0"},
        {MStore{reg(0), reg(1), std::nullopt, MemoryOrdering::Acq, true}, "store volatile %0, %1, atomic acquire"},
        {MAlloca{Name{1}, ptr_, i32c(2), 8u}, "%1: ptr = alloca ptr i32 2, align 8"},
        {MGetElementPtr{Name{2}, ptr_, arr_, reg(0), {i32c(0), reg(1)}},
         "%2: ptr = getelementptr [ 4 x i8 ],  %0, i32 0, %1"},
        {Invoke{reg(0), {reg(1), i32c(2)}, Name{3}, i32_, CallingConvention{CallingConvention::Kind::FastC}},
         "%3: i32 = invoke fastcc %0, %1, i32 2"},
        {Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt}, "invoke %0"},
        {Phi{Name{4}, i32_, {{reg(1), Label{0}}, {reg(2), Label{3}}}}, "%4: i32 = phi [%1, block_0], [%2, block_3]"},
        {Select{Name{3}, reg(0), reg(1), reg(2), i32_}, "%3: i32 = select %0, %1, %2"},
        {Cast{Name{1}, i64_, reg(0), CastVariant::SExt}, "%1: i64 = cast %0"},
        {InsertValue{Name{2}, arr_, reg(0), reg(1), {1, 2}}, "%2: [ 4 x i8 ] = insertvalue %0, %1, i32 1, i32 2"},
        {ExtractValue{Name{2}, i8_, reg(0), {3}}, "%2: i8 = extractvalue %0, i32 3"},
        {MetaAssert{reg(0)}, "!assert %0"},
        {MetaAssume{reg(0)}, "!assume %0"},
        {MetaIsDef{Name{1}, i1_, reg(0)}, "%1: i1 = !isdef %0"},
        {MetaProb{Name{1}, i32_, {MetaProbVariant::Probability, reg(0)}}, "%1: i32 = !prob.prob %0"},
        {MetaProb{Name{1}, i32_, {MetaProbVariant::ExpectedValue, reg(0)}}, "%1: i32 = !prob.ev %0"},
        {MetaProb{Name{1}, i32_, {MetaProbVariant::Variance, reg(0)}}, "%1: i32 = !prob.var %0"},
        {MetaAnalysisStat{Name{1}, i64_, InstructionCount{{0x1FC3}}}, "%1: i64 = !analysis.icnt i32 0x1fc3"},
        {MetaAnalysisStat{Name{1}, i64_, ExecutionCount{}}, "%1: i64 = !analysis.excnt"},
        {MetaAnalysisStat{Name{1}, i1_, TerminationBehavior{BlockExit{}}}, "%1: i1 = !analysis.term.blockexit"},
        {MetaAnalysisStat{Name{1}, i1_, TerminationBehavior{FunctionExit{}}}, "%1: i1 = !analysis.term.funcexit"},
        {MetaAnalysisStat{Name{1}, i1_, TerminationBehavior{ReachAny{{Label{1}, Label{2}}}}},
         "%1: i1 = !analysis.term.reach block_1, block_2"},
        {MetaAnalysisStat{Name{1}, i1_, TerminationBehavior{ReachAny{}}}, "%1: i1 = !analysis.term.reach "},
        {MetaForall{Name{0}, i32_}, "%0: i32 = !forall"},
    };
    for (const auto& c : cases) EXPECT_EQ(diag(c.instr), c.text);
}

TEST_F(PrinterTest, FunctionPointersDependOnTheModule) {
    const Uuid named = uuid_of(1), anonymous = uuid_of(2), missing = uuid_of(3), ext = uuid_of(4);
    add_function(named, "main");
    add_function(anonymous, std::nullopt);
    add_external(ext, "puts");
    using K = FunctionPointer::Kind;
    auto text = [&](K kind, Uuid id, const Module* m) {
        std::string s;
        append_function_pointer(s, FunctionPointer{kind, id}, m);
        return s;
    };
    EXPECT_EQ(text(K::Internal, named, &module_), "ptr %main");
    EXPECT_EQ(text(K::Internal, anonymous, &module_), "ptr @" + anonymous.to_string());
    EXPECT_EQ(text(K::Internal, missing, &module_), "ptr <invalid@" + missing.to_string() + ">");
    EXPECT_EQ(text(K::Internal, named, nullptr), "ptr <unresolved@" + named.to_string() + ">");
    EXPECT_EQ(text(K::External, ext, &module_), "ptr external %puts");
    EXPECT_EQ(text(K::External, named, &module_), "ptr external <invalid@" + named.to_string() + ">");
    EXPECT_EQ(text(K::External, ext, nullptr), "ptr external <unresolved@" + ext.to_string() + ">");
}

TEST_F(PrinterTest, ConstantsAndOperands) {
    std::string s;
    append_const(s, AnyConst{IConst{IType{8}, BigInt(300)}}, nullptr);
    EXPECT_EQ(s, "i8 300");
    EXPECT_EQ(operand_text(fconst(FType::Fp64, 15, 1), {}), "fp64 1.5");
    EXPECT_EQ(operand_text(fconst(FType::X86Fp80, -150, 2), {}), "x86_fp80 -1.50");
    EXPECT_EQ(operand_text(fconst(FType::Fp32, 250, 0), {}), "fp32 250");
    EXPECT_EQ(operand_text(Undef{arr_}, ctx()), "[ 4 x i8 ] undef");
    EXPECT_EQ(operand_text(Undef{arr_}, {}), "undef");
    EXPECT_EQ(operand_text(Undef{Typeref::wildcard(1)}, ctx()), "B undef");
}

TEST_F(PrinterTest, DebugTextShowsVariantAndFields) {
    EXPECT_EQ(instruction_debug_text(MetaAssert{reg(0)}), "MetaAssert(MetaAssert { condition: Reg(Name(0)) })");
    EXPECT_EQ(instruction_debug_text(MLoad{Name{1}, Typeref::wildcard(0), reg(0), 4u, MemoryOrdering::Acq, true}),
              "MLoad(MLoad { dest: Name(1), ty: Typeref(ffffffff-ffff-8fff-bfff-ffffffff0000), addr: Reg(Name(0)), "
              "alignement: Some(4), ordering: Some(Acq), volatile: true })");
    EXPECT_EQ(instruction_debug_text(Invoke{AnyConst{FunctionPointer{FunctionPointer::Kind::External, uuid_of(9)}},
                                            {i32c(7)},
                                            std::nullopt,
                                            std::nullopt,
                                            CallingConvention::numbered(10)}),
              "Invoke(Invoke { function: Imm(FuncPtr(External(00000000-0000-0000-0000-000000000009))), args: "
              "[Imm(Int(IConst { ty: IType { num_bits: 32 }, value: 7 }))], dest: None, ty: None, cconv: "
              "Some(Numbered(10)) })");
    EXPECT_EQ(instruction_debug_text(MetaAnalysisStat{Name{2}, Typeref::wildcard(0),
                                                      TerminationBehavior{ReachAny{{Label{1}}}}}),
              "MetaAnalysisStat(MetaAnalysisStat { dest: Name(2), ty: "
              "Typeref(ffffffff-ffff-8fff-bfff-ffffffff0000), statistic: TerminationBehavior(ReachAny([Label(1)])) })");
    EXPECT_EQ(instruction_debug_text(MetaProb{Name{1}, Typeref::wildcard(0), {MetaProbVariant::Variance, reg(0)}}),
              "MetaProb(MetaProb { dest: Name(1), ty: Typeref(ffffffff-ffff-8fff-bfff-ffffffff0000), operand: "
              "Variance(Reg(Name(0))) })");
}

// ---- source form ----

TEST_F(PrinterTest, FunctionInSourceForm) {
    const Uuid callee_id = uuid_of(1), ext_id = uuid_of(2);
    add_function(callee_id, "callee");
    add_external(ext_id, "puts");
    Function f = Function::make_default();
    f.name = "main";
    f.params = {{Name{0}, i32_}, {Name{1}, ptr_}};
    f.return_type = i32_;
    f.visibility = Visibility::Hidden;
    f.cconv = CallingConvention::numbered(10);
    auto fptr = [](FunctionPointer::Kind k, Uuid id) { return Operand{AnyConst{FunctionPointer{k, id}}}; };
    f.body[Label{0}] = BasicBlock{
        Label{0},
        {
            IAdd{Name{2}, i32_, reg(0), i32c(1), OverflowSignednessPolicy::Wrap},
            MLoad{Name{3}, i32_, reg(1), 4u, MemoryOrdering::Acq, true},
            MStore{reg(1), reg(3), std::nullopt, std::nullopt, false},
            MGetElementPtr{Name{4}, ptr_, arr_, reg(1), {i32c(0), i32c(2)}},
            Cast{Name{5}, i64_, reg(2), CastVariant::SExt},
            Invoke{fptr(FunctionPointer::Kind::Internal, callee_id), {reg(2)}, Name{6}, i32_, std::nullopt},
            Invoke{fptr(FunctionPointer::Kind::External, ext_id), {reg(1)}, std::nullopt, std::nullopt,
                   CallingConvention{CallingConvention::Kind::FastC}},
            ExtractValue{Name{7}, i8_, Undef{arr_}, {3}},
            MAlloca{Name{8}, ptr_, i32c(1), 16u},
            ICmp{Name{9}, i1_, reg(2), reg(0), ICmpVariant::Slt},
        },
        Branch{reg(9), Label{1}, Label{2}}};
    f.body[Label{1}] = BasicBlock{Label{1}, {}, Jump{Label{2}}};
    f.body[Label{2}] = BasicBlock{
        Label{2}, {Phi{Name{10}, i32_, {{reg(2), Label{0}}, {reg(0), Label{1}}}}}, Ret{reg(10)}};

    std::string out;
    append_function(out, f, ctx());
    EXPECT_EQ(out,
              "define i32 hidden cc10 main(%0: i32, %1: ptr) {\n"
              "block_0:\n"
              "  %2: i32 = iadd.wrap %0, i32 1\n"
              "  %3: i32 = load.acquire %1, align 4, volatile\n"
              "  store %1, %3\n"
              "  %4: ptr = getelementptr [ 4 x i8 ], %1, i32 0, i32 2\n"
              "  %5: i64 = cast.sext %2\n"
              "  %6: i32 = invoke ptr callee, %2\n"
              "  invoke ptr external puts, %1 ; calling convention fastcc\n"
              "  %7: i8 = extractvalue [ 4 x i8 ] undef, i32 3\n"
              "  %8: ptr = alloca i32 1, align 16\n"
              "  %9: i1 = icmp.slt %2, %0\n"
              "  branch %9, block_1, block_2\n"
              "block_1:\n"
              "  jump block_2\n"
              "block_2:\n"
              "  %10: i32 = phi [%2, block_0], [%0, block_1]\n"
              "  ret %10\n"
              "}\n");
}

TEST_F(PrinterTest, MetaFunctionAndMetaInstructionsInSourceForm) {
    Function f = Function::make_default();
    f.name = "prop";
    f.meta_function = true;
    f.wildcard_types = {0, 26};
    f.body[Label{0}] = BasicBlock{Label{0},
                                  {
                                      MetaForall{Name{0}, i32_},
                                      MetaProb{Name{1}, i32_, {MetaProbVariant::ExpectedValue, reg(0)}},
                                      MetaAnalysisStat{Name{2}, i64_, InstructionCount{{0x40}}},
                                      MetaAnalysisStat{Name{3}, i1_, TerminationBehavior{ReachAny{{Label{0}}}}},
                                      MetaAssert{reg(3)},
                                  },
                                  Ret{}};
    std::string out;
    append_function(out, f, ctx());
    EXPECT_EQ(out,
              "; wildcard types: A _26\n"
              "define void !prop() {\n"
              "block_0:\n"
              "  %0: i32 = !forall\n"
              "  %1: i32 = !prob.xpt %0\n"
              "  %2: i64 = !analysis.icnt i32 0x40\n"
              "  %3: i1 = !analysis.term.reach block_0\n"
              "  !assert %3\n"
              "  ret void\n"
              "}\n");
}

TEST_F(PrinterTest, SourceDecimalsAlwaysReadAsDecimals) {
    Function f = Function::make_default();
    f.name = "d";
    f.body[Label{0}] = BasicBlock{Label{0},
                                  {
                                      FAdd{Name{0}, reg_.intern(FType::Fp64), fconst(FType::Fp64, 250, 0),
                                           fconst(FType::Fp64, 25, -1)},
                                      FAdd{Name{1}, reg_.intern(FType::Fp64), fconst(FType::Fp64, 15, 1),
                                           fconst(FType::Fp64, -7, 3)},
                                  },
                                  Ret{fconst(FType::Fp64, 0, -2)}};
    std::string out;
    append_function(out, f, ctx());
    EXPECT_NE(out.find("fadd fp64 250e0, fp64 25e1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("fadd fp64 1.5, fp64 -0.007\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ret fp64 0e2\n"), std::string::npos) << out;
}

TEST_F(PrinterTest, ModuleTextListsExternalsAsCommentsAndNamesAnonymousFunctions) {
    add_external(uuid_of(5), "puts");
    auto anon = add_function(uuid_of(1), std::nullopt);
    auto caller = add_function(uuid_of(2), "caller");
    caller->body[Label{0}] = BasicBlock{
        Label{0}, {Invoke{AnyConst{FunctionPointer{FunctionPointer::Kind::Internal, anon->uuid}}, {}, {}, {}, {}}},
        Trap{}};
    const std::string anon_name = "anon_00000000000000000000000000000001";
    EXPECT_EQ(module_text(module_, reg_),
              "; external cc i32 \"puts\"(ptr)\n"
              "\n"
              "define void " + anon_name + "() {\n"
              "block_0:\n"
              "  trap\n"
              "}\n"
              "\n"
              "define void caller() {\n"
              "block_0:\n"
              "  invoke ptr " + anon_name + "\n"
              "  trap\n"
              "}\n");
}

TEST_F(PrinterTest, ModuleTextShowsWhatTheGrammarCannotExpress) {
    // Modules read from containers may hold anything the records allow.
    auto f = add_function(uuid_of(1), "odd");
    const Typeref unknown{uuid_of(0xEE)};
    f->return_type = unknown;
    f->params = {{Name{0}, Typeref::wildcard(2)}};
    f->link_uuid = uuid_of(0x77);
    f->body[Label{0}] = BasicBlock{
        Label{0},
        {Invoke{AnyConst{FunctionPointer{FunctionPointer::Kind::Internal, uuid_of(0x99)}}, {}, {}, {}, {}},
         MetaAnalysisStat{Name{1}, ptr_, InstructionCount{{0xFFFFFFFF}}}},
        Ret{Undef{Typeref::wildcard(2)}}};
    EXPECT_EQ(module_text(module_, reg_),
              "; link uuid 00000000-0000-0000-0000-000000000077\n"
              "define <unknown type 00000000-0000-0000-0000-0000000000ee> odd(%0: C) {\n"
              "block_0:\n"
              "  invoke ptr <invalid@00000000-0000-0000-0000-000000000099>\n"
              "  %1: ptr = !analysis.icnt i32 0xffffffff\n"
              "  ret C undef\n"
              "}\n");
}

TEST(PrinterTypes, DeeplyNestedTypePrintsWithoutRecursion) {
    TypeRegistry reg;
    Typeref t = reg.intern(IType{8});
    constexpr int kDepth = 100000;
    for (int k = 0; k < kDepth; ++k) t = reg.search_or_insert(ArrayType{t, 1});
    std::string expected;
    for (int k = 0; k < kDepth; ++k) expected += "[ 1 x ";
    expected += "i8";
    for (int k = 0; k < kDepth; ++k) expected += " ]";
    EXPECT_TRUE(reg.type_text(t) == expected);  // no dump of a 1 MB string on failure
}

}  // namespace
