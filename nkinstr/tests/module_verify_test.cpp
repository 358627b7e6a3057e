#include <gtest/gtest.h>

#include "nkinstr/modules/module.hpp"
#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

namespace {

Uuid uuid_with(std::uint8_t first) {
    Uuid u = Uuid::new_v4();
    u.bytes[0] = first;
    return u;
}

std::shared_ptr<Function> add_function(Module& m, Function f) {
    auto handle = std::make_shared<Function>(std::move(f));
    m.functions.emplace(handle->uuid, handle);
    return handle;
}

NkInstr call(Operand callee) { return Invoke{std::move(callee), {}, std::nullopt, std::nullopt, std::nullopt}; }

}  // namespace

class ModuleVerifyTest : public ::testing::Test {
protected:
    TypeRegistry registry;
    Types t{registry};
    Module module;

    Function with_uuid(Function f, std::uint8_t first) {
        f.uuid = uuid_with(first);
        return f;
    }
};

TEST_F(ModuleVerifyTest, FunctionPointersInInstructionsMustResolve) {
    const Uuid ext = uuid_with(0x50);
    module.external_functions.emplace(ext, ExternalFunction{ext, "puts", CallingConvention{}, {t.ptr()}, t.i(32)});
    auto callee = add_function(module, with_uuid(function({}, {block(0, {})}, "callee"), 0x20));
    auto caller = add_function(
        module, with_uuid(function({}, {block(0, {call(func_ptr(callee->uuid)), call(func_ptr(ext, true))})}, "caller"),
                          0x10));
    EXPECT_TRUE(module.verify().ok());

    // Self reference passes even when the function is alone in a module.
    Module alone;
    Function self = function({}, {block(0, {})}, "self");
    self.body.at(l(0)).instructions.push_back(call(func_ptr(self.uuid)));
    add_function(alone, self);
    EXPECT_TRUE(alone.verify().ok());

    // An external pointer naming an internal function (and no external one).
    caller->body.at(l(0)).instructions.push_back(call(func_ptr(callee->uuid, true)));
    auto s = module.verify();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(), "An instruction of function `caller` refers to an external function referenced by `" +
                                       callee->uuid.to_string() + "` that is not defined within the module.");

    // An internal pointer to nothing, in an unnamed function: the UUID names it.
    caller->body.at(l(0)).instructions.back() = call(func_ptr(ext));
    caller->name.reset();
    auto s2 = module.verify_func(*caller);
    ASSERT_FALSE(s2.ok());
    EXPECT_EQ(s2.error().message(), "An instruction of function `" + caller->uuid.to_string() +
                                        "` refers to an internal function referenced by `" + ext.to_string() +
                                        "` that is not defined within the module.");
}

TEST_F(ModuleVerifyTest, TerminatorsAreNotExamined) {
    Function f = function({}, {block(0, {})}, "f");
    f.return_type = t.ptr();
    f.body.at(l(0)).terminator = Ret{func_ptr(Uuid::new_v4())};
    add_function(module, f);
    EXPECT_TRUE(module.verify().ok());
}

TEST_F(ModuleVerifyTest, FirstFailingFunctionInUuidOrderDecides) {
    // 0x10 fails Function::verify; 0x20 (inserted first) has an undefined call target.
    add_function(module, with_uuid(function({}, {block(0, {call(func_ptr(Uuid::new_v4()))})}, "second"), 0x20));
    add_function(module, with_uuid(function({}, {block(0, {}, Jump{l(3)})}, "first"), 0x10));
    auto s = module.verify();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().message(), "The basic block `block_3` referenced in function `first` is not defined within "
                                   "the function.");

    // Function::verify runs before verify_func for the same function.
    Module m2;
    add_function(m2, function({}, {block(0, {call(func_ptr(Uuid::new_v4()))}, Ret{reg(4)})}, "g"));
    ASSERT_FALSE(m2.verify().ok());
    EXPECT_NE(m2.verify().error().get_if<errors::UndefinedName>(), nullptr);
}

TEST_F(ModuleVerifyTest, MetaFunctionWithoutMetaFeaturesStillVerifies) {
    Function f = function({}, {block(0, {})}, "m");
    f.meta_function = true;
    EXPECT_FALSE(f.should_be_meta_function());
    add_function(module, f);
    EXPECT_TRUE(module.verify().ok());
}

// ---- type remapping ----

class RemapTest : public ::testing::Test {
protected:
    TypeRegistry source;
    Types s{source};
    TypeRegistry target;
    Types tt{target};

    // Something in the target first, so that references differ between the two.
    void SetUp() override { tt.i(64); }
};

TEST_F(RemapTest, EveryReferenceOfTheModuleMovesToTheTargetRegistry) {
    const Typeref i32 = s.i(32), f64 = s.fp(FType::Fp64), p = s.ptr(), st = s.strct({i32, f64});
    const Typeref wild = Typeref::wildcard(2);
    Module m;
    Function f = function({{r(0), p}, {r(1), wild}},
                          {block(0,
                                 {MGetElementPtr{r(2), p, st, reg(0), {int_imm(32, 0), int_imm(32, 1)}},
                                  MLoad{r(3), f64, reg(2), std::nullopt, std::nullopt, false}, MStore{reg(2), undef(f64), std::nullopt, std::nullopt, false},
                                  Invoke{reg(0), {undef(st)}, r(4), i32, std::nullopt},
                                  Invoke{reg(0), {}, std::nullopt, std::nullopt, std::nullopt},
                                  Select{r(5), undef(s.i(1)), reg(4), undef(i32), i32}},
                                 Ret{undef(i32)})});
    f.return_type = i32;
    f.meta_function = true;
    f.wildcard_types = {2};
    const Function* original = m.functions.emplace(f.uuid, std::make_shared<Function>(f)).first->second.get();
    const Uuid ext = Uuid::new_v4();
    m.external_functions.emplace(ext, ExternalFunction{ext, "e", CallingConvention{}, {st, wild}, f64});

    auto map = target.merge_with(source);
    ASSERT_TRUE(map.ok());
    m.remap_types(*map);

    const Function& g = *m.functions.at(f.uuid);
    EXPECT_EQ(original, &g);  // held only by the module: rewritten in place
    auto at = [&](Typeref r) { return map->at(r); };
    EXPECT_EQ(g.params[0].second, at(p));
    EXPECT_EQ(g.params[1].second, wild);  // wildcards never change
    EXPECT_EQ(g.return_type, at(i32));
    const auto& instrs = g.body.at(l(0)).instructions;
    const auto& gep = *instrs[0].get_if<MGetElementPtr>();
    EXPECT_EQ(gep.ty, at(p));
    EXPECT_EQ(gep.in_ty, at(st));
    EXPECT_EQ(instrs[1].get_if<MLoad>()->ty, at(f64));
    EXPECT_EQ(std::get<Undef>(instrs[2].get_if<MStore>()->value).ty, at(f64));
    EXPECT_EQ(instrs[3].get_if<Invoke>()->ty, at(i32));
    EXPECT_EQ(std::get<Undef>(instrs[3].get_if<Invoke>()->args[0]).ty, at(st));
    EXPECT_FALSE(instrs[4].get_if<Invoke>()->ty.has_value());
    EXPECT_EQ(std::get<Undef>(instrs[5].get_if<Select>()->condition).ty, at(s.i(1)));
    EXPECT_EQ(std::get<Undef>(*std::get<Ret>(g.body.at(l(0)).terminator.v).value).ty, at(i32));
    const auto& e = m.external_functions.at(ext);
    EXPECT_EQ(e.param_types, (std::vector<Typeref>{at(st), wild}));
    EXPECT_EQ(e.return_type, at(f64));

    // The rewritten module checks against the target registry, undef operands included.
    EXPECT_TRUE(g.verify().ok());
    EXPECT_TRUE(g.type_check(target).ok());
}

TEST_F(RemapTest, EmptyTableChangesNothing) {
    Module m;
    auto f = std::make_shared<Function>(
        function({{r(0), s.i(8)}}, {block(0, {IAdd{r(1), s.i(8), reg(0), undef(s.i(8))}}, Ret{reg(1)})}));
    m.functions.emplace(f->uuid, f);
    const Uuid ext = Uuid::new_v4();
    m.external_functions.emplace(ext, ExternalFunction{ext, "e", CallingConvention{}, {s.i(8)}, std::nullopt});
    const Function before = *f;
    const auto externals_before = m.external_functions;
    m.remap_types({});
    EXPECT_EQ(*m.functions.at(f->uuid), before);
    EXPECT_EQ(m.external_functions, externals_before);
}

TEST_F(RemapTest, SharedFunctionIsCopiedInsteadOfChangedUnderItsOtherHolder) {
    const Typeref i32 = s.i(32);
    Module m;
    auto f = std::make_shared<Function>(function({{r(0), i32}}, {block(0, {}, Ret{reg(0)})}));
    f->return_type = i32;
    m.functions.emplace(f->uuid, f);
    const Function before = *f;

    auto map = target.merge_with(source);
    ASSERT_TRUE(map.ok());
    m.remap_types(*map);

    EXPECT_EQ(*f, before);  // the other holder still sees the source references
    const auto& mine = m.functions.at(f->uuid);
    EXPECT_NE(mine.get(), f.get());
    EXPECT_EQ(mine.use_count(), 1);
    EXPECT_EQ(mine->params[0].second, map->at(i32));
    EXPECT_EQ(mine->return_type, map->at(i32));
    EXPECT_TRUE(mine->type_check(target).ok());
}
