#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkinstr/modules/parser/parser.hpp"
#include "nkinstr/utils/log.hpp"

using namespace nkinstr;

namespace {

struct Record {
    log::Level level;
    std::string target;
    std::string message;
};
std::vector<Record> g_records;

// Captures the IR library's log records for one test.
class LogCapture {
public:
    LogCapture() {
        g_records.clear();
        log::set_sink([](log::Level level, std::string_view target, std::string_view message) {
            g_records.push_back(Record{level, std::string(target), std::string(message)});
        });
        log::set_max_level(log::Level::Trace);
    }
    ~LogCapture() {
        log::set_max_level(log::Level::Off);
        log::set_sink(nullptr);
    }
    bool has(log::Level level, std::string_view message) const {
        for (const auto& r : g_records)
            if (r.level == level && r.message == message && r.target == "nkinstr::modules::parser") return true;
        return false;
    }
};

const Function* by_name(const Module& m, std::string_view name) {
    const Function* found = nullptr;
    for (const auto& [uuid, f] : m.functions)
        if (f->name == name) found = f.get();
    return found;
}

template <class R>
const R* find_instr(const Function& f) {
    for (const auto& [label, block] : f.body)
        for (const auto& i : block.instructions)
            if (auto* r = i.template get_if<R>()) return r;
    return nullptr;
}

const FunctionPointer* as_fn_ptr(const Operand& o) {
    const AnyConst* c = as_imm(o);
    return c ? std::get_if<FunctionPointer>(c) : nullptr;
}

const char* kEveryFamily = R"(
; integer family
define i32 arith(%a: i32, %b: i32) {
entry:
  %s: i32 = iadd.wrap %a, %b
  %d: i32 = isub.ssat %s, i32 1
  %m: i32 = imul.usat %d, %d
  %q: i32 = idiv.signed %m, i32 3
  %r: i32 = irem.unsigned %q, i32 5
  %c: i1 = icmp.slt %r, %a
  %h: i32 = isht.lsl %r, i32 2
  %n: i32 = ineg %h
  %x1: i32 = and %n, %a
  %x2: i32 = or %x1, %a
  %x3: i32 = xor %x2, %a
  %x4: i32 = not %x3
  %i1: i1 = implies %c, %c
  %e1: i1 = equiv %i1, %c
  %sel: i32 = select %e1, %x4, i32 0
  ret %sel
}

define fp64 floats(%a: fp64, %b: fp64) {
entry:
  %s: fp64 = fadd %a, %b
  %d: fp64 = fsub %s, fp64 1.5
  %m: fp64 = fmul %d, %d
  %q: fp64 = fdiv %m, fp64 2e1
  %r: fp64 = frem %q, %a
  %c: i1 = fcmp.olt %r, %b
  %n: fp64 = fneg %r
  ret %n
}

define void memory(%p: ptr) {
entry:
  %slot: ptr = alloca i32 1, align 8
  store %slot, i32 7, align 4, volatile
  store.release %slot, i32 8
  %v: i32 = load %slot, align 4
  %w: i32 = load.acquire %slot, volatile
  %g: ptr = getelementptr [4 x i32], %p, i32 0, i32 2
  ret void
}

define {i32, fp32} aggregates(%agg: {i32, fp32}, %v: i32) {
entry:
  %x: i32 = extractvalue %agg, i32 0
  %y: {i32, fp32} = insertvalue %agg, %v, i32 0
  %z: fp64 = cast.sitofp %x
  ret %y
}

define i32 control(%c: i1) {
entry:
  branch %c, left, right
left:
  %r1: i32 = invoke ptr arith, i32 1, i32 2
  jump join
right:
  invoke ptr memory, ptr undef
  jump join
join:
  %p: i32 = phi [%r1, left], [i32 0, right]
  ret %p
}

define void !meta(%x: i32) {
entry:
  %t: i1 = icmp.eq %x, i32 0
  !assume %t
  !assert %t
  %k: i1 = !isdef %x
  %pr: fp64 = !prob.prb %t
  %ic: i64 = !analysis.icnt i32 0x1FFFF
  %ec: i64 = !analysis.excnt
  %tb: i1 = !analysis.term.blockexit
  %tr: i1 = !analysis.term.reach entry, done
  %fa: i32 = !forall
  jump done
done:
  trap
}
)";

TEST(TextEndToEnd, EveryInstructionFamily) {
    Module module;
    TypeRegistry registry;
    Status s = extend_module_from_string(module, registry, kEveryFamily);
    ASSERT_TRUE(s.ok()) << s.error().message();
    ASSERT_EQ(module.functions.size(), 6u);

    const Function* arith = by_name(module, "arith");
    const Function* memory = by_name(module, "memory");
    const Function* control = by_name(module, "control");
    const Function* meta = by_name(module, "meta");
    ASSERT_TRUE(arith && memory && control && meta && by_name(module, "floats") && by_name(module, "aggregates"));

    EXPECT_EQ(arith->body.at(Label{0}).instructions.size(), 15u);
    EXPECT_EQ(find_instr<ISub>(*arith)->variant, OverflowSignednessPolicy::SSat);
    EXPECT_EQ(find_instr<ICmp>(*arith)->variant, ICmpVariant::Slt);
    EXPECT_EQ(find_instr<FCmp>(*by_name(module, "floats"))->variant, FCmpVariant::Olt);
    EXPECT_EQ(find_instr<FSub>(*by_name(module, "floats"))->rhs,
              (Operand{AnyConst{FConst{FType::Fp64, Decimal{15, 1}}}}));

    const MStore* store = find_instr<MStore>(*memory);
    EXPECT_EQ(store->alignement, 4u);
    EXPECT_TRUE(store->volatile_);
    EXPECT_FALSE(store->ordering);
    EXPECT_EQ(find_instr<MAlloca>(*memory)->alignement, 8u);
    const MGetElementPtr* gep = find_instr<MGetElementPtr>(*memory);
    EXPECT_EQ(gep->in_ty, registry.search_or_insert(ArrayType{registry.intern(IType{32}), 4}));
    EXPECT_EQ(gep->indices.size(), 2u);

    const ExtractValue* ev = find_instr<ExtractValue>(*by_name(module, "aggregates"));
    EXPECT_EQ(ev->indices, std::vector<std::uint32_t>{0});
    EXPECT_EQ(find_instr<Cast>(*by_name(module, "aggregates"))->variant, CastVariant::SIToFp);

    // Invokes resolve to the functions of the same source, whichever comes first.
    const auto& left = control->body.at(Label{1});
    const Invoke* call = left.instructions[0].get_if<Invoke>();
    ASSERT_TRUE(call);
    EXPECT_EQ(as_fn_ptr(call->function)->uuid, arith->uuid);
    EXPECT_TRUE(call->dest.has_value());
    const Invoke* void_call = control->body.at(Label{2}).instructions[0].get_if<Invoke>();
    EXPECT_EQ(as_fn_ptr(void_call->function)->uuid, memory->uuid);
    EXPECT_FALSE(void_call->dest.has_value());
    EXPECT_EQ(find_instr<Phi>(*control)->values.size(), 2u);

    EXPECT_TRUE(meta->meta_function);
    const MetaAnalysisStat* icnt = find_instr<MetaAnalysisStat>(*meta);
    EXPECT_EQ(icnt->statistic, (AnalysisStatistic{InstructionCount{InstructionFlags{0x1FC3}}}));
    EXPECT_EQ(find_instr<MetaProb>(*meta)->operand.variant, MetaProbVariant::Probability);
    std::size_t reach_labels = 0;
    for (const auto& i : meta->body.at(Label{0}).instructions)
        if (auto* stat = i.get_if<MetaAnalysisStat>())
            if (auto* term = std::get_if<TerminationBehavior>(&stat->statistic))
                if (auto* reach = std::get_if<ReachAny>(&term->scope)) reach_labels = reach->labels.size();
    EXPECT_EQ(reach_labels, 2u);
}

TEST(TextEndToEnd, EmptySourcesSucceed) {
    Module module;
    TypeRegistry registry;
    EXPECT_TRUE(extend_module_from_string(module, registry, "").ok());
    EXPECT_TRUE(extend_module_from_string(module, registry, "; nothing\n\n   \n").ok());
    EXPECT_TRUE(module.functions.empty());
}

TEST(TextEndToEnd, ResolutionFailures) {
    TypeRegistry registry;
    struct Case {
        const char* source;
        std::string message;
    };
    const Case cases[] = {
        {"define ptr f() {\ne: ret ptr nowhere\n}",
         "The internal function `nowhere` was referenced but not defined within the module as either an internal or "
         "external function."},
        {"define ptr f() {\ne: ret ptr g\n}\ndefine void g() {\ne: trap\n}\ndefine void g() {\ne: trap\n}",
         "A function with the name `g` already exists in the module."},
        {"define ptr f() {\ne: %a: ptr = !isdef ptr external puts\n %b: ptr = !isdef ptr external abort\n ret %a\n}",
         "The external function `abort, puts` was referenced but not defined within the module as either an internal "
         "or external function."},
    };
    for (const auto& c : cases) {
        Module module;
        Status s = extend_module_from_string(module, registry, c.source);
        ASSERT_FALSE(s.ok()) << c.source;
        EXPECT_EQ(s.error().message(), c.message);
        EXPECT_TRUE(module.functions.empty()) << "module must stay unchanged";
    }
}

TEST(TextEndToEnd, UnreferencedDuplicatesAreBothAdded) {
    Module module;
    TypeRegistry registry;
    ASSERT_TRUE(extend_module_from_string(module, registry, "define void g() {\ne: trap\n}\ndefine void g() {\ne: trap\n}")
                    .ok());
    EXPECT_EQ(module.functions.size(), 2u);
}

TEST(TextEndToEnd, ExternalFunctionsDeclaredByTheModule) {
    Module module;
    TypeRegistry registry;
    ExternalFunction puts;
    puts.uuid = Uuid::new_v4();
    puts.name = "puts";
    module.external_functions.emplace(puts.uuid, puts);
    ASSERT_TRUE(extend_module_from_string(module, registry, "define ptr f() {\ne: ret ptr external puts\n}").ok());
    const auto& ret = std::get<Ret>(by_name(module, "f")->body.at(Label{0}).terminator.v);
    EXPECT_EQ(*as_fn_ptr(*ret.value), (FunctionPointer{FunctionPointer::Kind::External, puts.uuid}));
}

TEST(TextEndToEnd, ResolutionAcrossCalls) {
    Module module;
    TypeRegistry registry;
    ASSERT_TRUE(extend_module_from_string(module, registry, "define void g() {\ne: trap\n}").ok());
    const Uuid first_g = by_name(module, "g")->uuid;

    // The module is asked first: the earlier g wins over this source's own g,
    // which is still added beside it.
    ASSERT_TRUE(extend_module_from_string(module, registry,
                                          "define ptr f() {\ne: ret ptr g\n}\ndefine void g() {\ne: trap\n}")
                    .ok());
    EXPECT_EQ(module.functions.size(), 3u);
    const auto& ret = std::get<Ret>(by_name(module, "f")->body.at(Label{0}).terminator.v);
    EXPECT_EQ(as_fn_ptr(*ret.value)->uuid, first_g);

    // A function that only a later call adds is unknown now.
    Status s = extend_module_from_string(module, registry, "define ptr h() {\ne: ret ptr later\n}");
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(s.error().get_if<errors::UndefinedFunction>());
    EXPECT_EQ(module.functions.size(), 3u);
}

TEST(TextEndToEnd, PlaceholdersInTerminatorsAreReplaced) {
    Module module;
    TypeRegistry registry;
    ASSERT_TRUE(extend_module_from_string(module, registry, "define ptr f() {\ne: ret ptr g\n}\ndefine void g() {\ne: trap\n}")
                    .ok());
    const auto& ret = std::get<Ret>(by_name(module, "f")->body.at(Label{0}).terminator.v);
    EXPECT_EQ(as_fn_ptr(*ret.value)->uuid, by_name(module, "g")->uuid);
}

TEST(TextEndToEnd, ImportsAreRefused) {
    LogCapture logs;
    Module module;
    TypeRegistry registry;
    Status s = extend_module_from_string(module, registry, "define void f() {\ne: trap\n}\nimport \"lib\"\n");
    ASSERT_FALSE(s.ok());
    const auto* errs = s.error().get_if<errors::ParserErrors>();
    ASSERT_TRUE(errs);
    ASSERT_EQ(errs->errors.size(), 1u);
    EXPECT_EQ(errs->errors[0], (ParserError{std::nullopt, 0, 0, "import statements are not supported when parsing from string: lib"}));
    EXPECT_FALSE(errs->tokens.empty());
    EXPECT_TRUE(module.functions.empty());
    EXPECT_TRUE(logs.has(log::Level::Error, "Import encountered in string source; imports unsupported in this context: lib"));
}

TEST(TextEndToEnd, LexingErrorsCarryByteSpans) {
    LogCapture logs;
    Module module;
    TypeRegistry registry;
    Status s = extend_module_from_string(module, registry, "define i0 f() {\ne: trap\n} @");
    ASSERT_FALSE(s.ok());
    const auto* errs = s.error().get_if<errors::ParserErrors>();
    ASSERT_TRUE(errs);
    ASSERT_EQ(errs->errors.size(), 2u);
    EXPECT_EQ(errs->errors[0].start, 7u);
    EXPECT_EQ(errs->errors[0].end, 9u);
    EXPECT_EQ(errs->errors[0].message, "cannot create IType with width 0 (must be between 1 and 8388607)");
    EXPECT_EQ(errs->errors[1].start, 26u);
    EXPECT_EQ(errs->errors[1].end, 27u);
    EXPECT_TRUE(errs->tokens.empty());
    EXPECT_TRUE(logs.has(log::Level::Error, "Lexing errors encountered in provided source string:"));
}

TEST(TextEndToEnd, ParsingErrorsCarryByteSpansAndTokens) {
    LogCapture logs;
    Module module;
    TypeRegistry registry;
    //                      0         1          2
    //                      0123456789012345678 90123456789
    const std::string src = "define void f() {\ne:  %d: i32 = iadd %a, %b\n ret void\n}";
    Status s = extend_module_from_string(module, registry, src);
    ASSERT_FALSE(s.ok());
    const auto* errs = s.error().get_if<errors::ParserErrors>();
    ASSERT_TRUE(errs);
    ASSERT_EQ(errs->errors.size(), 1u);
    EXPECT_EQ(errs->errors[0].message, "syntax error for iadd instruction: expected variant, got no variant");
    EXPECT_EQ(errs->errors[0].start, 22u);  // %d (spacing before it belongs to ':')
    EXPECT_EQ(errs->errors[0].end, 43u);    // end of %b
    EXPECT_EQ(errs->tokens.front(), "Identifier(\"define\", [])");
    EXPECT_EQ(errs->tokens.size(), 22u);
    EXPECT_TRUE(logs.has(log::Level::Error, "Parsing errors encountered in provided source string:"));
    EXPECT_TRUE(module.functions.empty());

    // At the end of the tokens the position is the end of the source.
    s = extend_module_from_string(module, registry, "define void f() {  ");
    ASSERT_FALSE(s.ok());
    const auto& at_end = s.error().get_if<errors::ParserErrors>()->errors.back();
    EXPECT_EQ(at_end.start, 19u);
    EXPECT_EQ(at_end.end, 19u);
    EXPECT_EQ(at_end.message, "found end of input expected '\\n', label, or '}'");
}

TEST(TextEndToEnd, LogsAddedFunctionsAndMetaAdvice) {
    LogCapture logs;
    Module module;
    TypeRegistry registry;
    ASSERT_TRUE(extend_module_from_string(module, registry,
                                          "define void f() {\ne: trap\n}\n"
                                          "define void !m() {\ne: trap\n}\n")
                    .ok());
    EXPECT_TRUE(logs.has(log::Level::Debug, "Adding function Some(\"f\") to module"));
    EXPECT_TRUE(logs.has(log::Level::Warn, "Function 'm' is declared as a meta-function but does not use any "
                                           "meta-instructions or wildcard types"));
    (void)extend_module_from_string(module, registry, "define void g() {\ne: !assert i1 1\n trap\n}");
    EXPECT_TRUE(logs.has(log::Level::Error, "Function 'g' should be declared as a meta-function (it uses "
                                            "meta-instructions or has wildcard types)"));
}

TEST(TextEndToEnd, VerificationFailureKeepsInsertedFunctions) {
    LogCapture logs;
    Module module;
    TypeRegistry registry;
    Status s = extend_module_from_string(module, registry, "define void f() {}");
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(s.error().get_if<errors::MissingEntryBlock>());
    EXPECT_EQ(module.functions.size(), 1u);
    EXPECT_TRUE(logs.has(log::Level::Error, "Module verification failed: " + s.error().message()));
}

}  // namespace
