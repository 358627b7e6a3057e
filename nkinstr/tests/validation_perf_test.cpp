// Every validation pass must stay linear in the size of the function. This
// builds the largest function the limits admit (1,000,000 instructions over 16
// blocks) once and runs the passes over it; a quadratic pass would not finish
// in any reasonable time. The timings are printed for reference only.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "nkinstr/modules/flow.hpp"
#include "nkinstr/tests/ir_fixtures.hpp"

using namespace nkinstr;
using namespace nkinstr::testing;

namespace {

class Timer {
public:
    explicit Timer(const char* what) : what_(what), start_(std::chrono::steady_clock::now()) {}
    ~Timer() {
        const auto ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
        std::printf("[ timing   ] %-28s %9.1f ms\n", what_, ms);
    }

private:
    const char* what_;
    std::chrono::steady_clock::time_point start_;
};

// Params: %0 i32, %1 ptr, %2 {i32, fp64}. Each group of ten instructions uses
// integer, comparison, select, memory, aggregate, cast and floating rules.
// Register numbers are sparse on purpose (stride 3) so normalisation has work to do.
Function build_large_function(TypeRegistry& registry) {
    Types t{registry};
    const Typeref i1 = t.i(1), i32 = t.i(32), i64 = t.i(64), f64 = t.fp(FType::Fp64), ptr = t.ptr();
    const Typeref pair = t.strct({i32, f64});
    Function f = function({{r(0), i32}, {r(3), ptr}, {r(6), pair}}, {}, "large");
    f.return_type = i32;

    constexpr std::uint32_t kBlocks = 16;
    constexpr std::size_t kPerBlock = Function::kMaxInstructions / kBlocks;
    std::uint32_t next = 9;
    auto fresh = [&] {
        const std::uint32_t n = next;
        next += 3;
        return n;
    };
    std::uint32_t acc = 0;  // an i32 register
    std::uint32_t cond = 0;
    for (std::uint32_t b = 0; b < kBlocks; ++b) {
        std::vector<NkInstr> instrs;
        instrs.reserve(kPerBlock);
        const std::uint32_t phi = fresh();
        instrs.push_back(Phi{r(phi), i32, {{reg(0), l(0)}, {reg(acc), l(b == 0 ? 0 : b - 1)}}});
        acc = phi;
        while (instrs.size() + 10 <= kPerBlock) {
            const std::uint32_t sum = fresh(), cmp = fresh(), sel = fresh(), gep = fresh(), load = fresh(),
                                fsum = fresh(), field = fresh(), wide = fresh(), narrow = fresh();
            instrs.push_back(IAdd{r(sum), i32, reg(acc), int_imm(32, 1)});
            instrs.push_back(ICmp{r(cmp), i1, reg(sum), reg(0), ICmpVariant::Slt});
            instrs.push_back(Select{r(sel), reg(cmp), reg(sum), reg(0), i32});
            instrs.push_back(MGetElementPtr{r(gep), ptr, pair, reg(3), {int_imm(32, 0), int_imm(32, 1)}});
            instrs.push_back(MLoad{r(load), f64, reg(gep), std::nullopt, std::nullopt, false});
            instrs.push_back(FAdd{r(fsum), f64, reg(load), float_imm(FType::Fp64)});
            instrs.push_back(MStore{reg(gep), reg(fsum), std::nullopt, std::nullopt, false});
            instrs.push_back(ExtractValue{r(field), i32, reg(6), {0}});
            instrs.push_back(Cast{r(wide), i64, reg(sel), CastVariant::SExt});
            instrs.push_back(Cast{r(narrow), i32, reg(wide), CastVariant::Trunc});
            acc = narrow;
            cond = cmp;
        }
        while (instrs.size() < kPerBlock) {
            const std::uint32_t n = fresh();
            instrs.push_back(IXor{r(n), i32, reg(acc), reg(0)});
            acc = n;
        }
        NkTerminator term = b + 1 < kBlocks ? NkTerminator(Branch{reg(cond), l(b + 1), l(b + 1)})
                                            : NkTerminator(Ret{reg(acc)});
        f.body.emplace(l(b), block(b, std::move(instrs), std::move(term)));
    }
    return f;
}

}  // namespace

TEST(ValidationPerformance, MillionInstructionFunctionIsLinear) {
    TypeRegistry registry;
    Function f = [&] {
        Timer timer("build 1,000,000 instructions");
        return build_large_function(registry);
    }();
    std::size_t count = 0, destinations = 0;
    for (const auto& [label, b] : f.body) {
        count += b.instructions.size();
        for (const auto& instr : b.instructions) destinations += instr.destination().has_value();
    }
    ASSERT_EQ(count, Function::kMaxInstructions);

    {
        Timer timer("normalize_ssa");
        ASSERT_TRUE(f.normalize_ssa().ok());
    }
    {
        Timer timer("verify");
        const auto s = f.verify();
        ASSERT_TRUE(s.ok()) << s.error().message();
    }
    {
        Timer timer("type_check");
        const auto s = f.type_check(registry);
        ASSERT_TRUE(s.ok()) << s.error().message();
    }
    {
        Timer timer("derive_dest_map");
        EXPECT_EQ(f.derive_dest_map().size(), destinations);
    }
    {
        Timer timer("derive_function_flow");
        EXPECT_EQ(f.derive_function_flow().edges().size(), 15u);
    }
}
