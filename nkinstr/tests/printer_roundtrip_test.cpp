// Printed modules read back: printing, reading the text and printing again
// gives the same text.

#include <gtest/gtest.h>

#include <algorithm>

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/modules/parser/parser.hpp"

using namespace nkinstr;

namespace {

// Function texts of a module, sorted: function order follows UUIDs, which
// are fresh on every read.
std::vector<std::string> function_texts(const Module& m, const TypeRegistry& reg) {
    std::vector<std::string> texts;
    for (const auto& [uuid, f] : m.functions) {
        std::string s;
        append_function(s, *f, {&reg, &m});
        texts.push_back(std::move(s));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const auto& t : texts) out += t + "\n";
    return out;
}

void expect_round_trip(std::string_view source) {
    Module first;
    TypeRegistry first_reg;
    auto read = extend_module_from_string(first, first_reg, source);
    ASSERT_TRUE(read.ok()) << read.error().message();
    const std::string printed = module_text(first, first_reg);

    Module second;
    TypeRegistry second_reg;
    auto reread = extend_module_from_string(second, second_reg, printed);
    ASSERT_TRUE(reread.ok()) << reread.error().message() << "\n" << printed;
    EXPECT_EQ(joined(function_texts(second, second_reg)), joined(function_texts(first, first_reg))) << printed;
    EXPECT_EQ(second.functions.size(), first.functions.size());
}

TEST(PrinterRoundTrip, OrdinaryInstructions) {
    expect_round_trip(R"(
define i32 hidden fastcc main(%a: i32, %p: ptr, %y0: [4 x i8]) {
block_0:
  %t: i32 = iadd.wrap %a, i32 1
  %u: i32 = isub.strap %t, i32 -7
  %v: i32 = idiv.unsigned %u, %a
  %w: i32 = isht.ror %v, i32 3
  %l: i32 = load.acquire %p, align 4, volatile
  %l2: i32 = load %p
  store %p, %l
  store.seq_cst %p, %l2, align 8
  %g: ptr = getelementptr [4 x i8], %p, i32 0, i32 2
  %c: i64 = cast.sext %t
  %x: i8 = extractvalue %y0, i32 3
  %y: [4 x i8] = insertvalue %y0, %x, i32 1
  %s: ptr = alloca i32 1, align 16
  %f: fp64 = fadd fp64 1.5, fp64 250e0
  %q: fp64 = fmul fp64 1e3, fp64 -0.25
  %fc: i1 = fcmp.une %f, %q
  %n: fp64 = fneg %q
  %b: i1 = implies %fc, i1 1
  %cmp: i1 = icmp.slt %t, %a
  %sel: i32 = select %cmp, %t, %a
  %r: i32 = invoke ptr helper, %t
  invoke ptr helper, i32 0
  %st: {i32, packed {i8, fp32}} = insertvalue %y, %t, i32 0
  %un: {i32, packed {i8, fp32}} = select %cmp, {i32, packed {i8, fp32}} undef, %st
  branch %cmp, block_1, block_2
block_1:
  jump block_2
block_2:
  %ph: i32 = phi [%t, block_0], [%a, block_1]
  ret %ph
}

define i32 helper(%z: i32) {
block_0:
  ret %z
}

define void nothing() {
block_0:
  trap
}
)");
}

TEST(PrinterRoundTrip, MetaFunction) {
    expect_round_trip(R"(
define void !prop(%v: i32) {
block_0:
  %u: i32 = !forall
  %d: i1 = !isdef %v
  %pr: fp64 = !prob.prb %d
  %e: fp64 = !prob.xpt %v
  %va: fp64 = !prob.var %u
  %n: i64 = !analysis.icnt i32 0x40
  %ex: i64 = !analysis.excnt
  %tr: i1 = !analysis.term.reach block_0, block_1
  %tb: i1 = !analysis.term.blockexit
  %tf: i1 = !analysis.term.funcexit
  !assume %d
  !assert %tr
  jump block_1
block_1:
  ret void
}
)");
}

// An aggregate undef as the first operand ("extractvalue [ 4 x i8 ] undef,
// i32 3") is what the printer writes for such an operand. The reader refuses it
// today: after "[" its phi-pair alternative fails without giving way to the
// operand list. Enable once the reader falls back there.
TEST(PrinterRoundTrip, AggregateUndefAsFirstOperand) {
    expect_round_trip(R"(
define i8 f() {
block_0:
  %x: i8 = extractvalue [4 x i8] undef, i32 3
  %s: {i8} = insertvalue {i8} undef, %x, i32 0
  ret %x
}
)");
}

TEST(PrinterRoundTrip, EmptyModule) { expect_round_trip("; nothing here\n"); }

}  // namespace
