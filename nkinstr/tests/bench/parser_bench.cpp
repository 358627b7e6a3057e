// Throughput of the assembly text reader: generates a source of N
// instructions (default 1,000,000) and times lexing and parsing.
//
//   cmake --build build/rel --target nkinstr_parser_bench
//   ./build/rel/nkinstr/tests/nkinstr_parser_bench [instructions]
//   ./build/rel/nkinstr/tests/nkinstr_parser_bench --file source.nkir instructions
//     (times an existing source; `instructions` is only used for the rates)

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <fmt/format.h>

#include "nkinstr/modules/parser/grammar.hpp"
#include "nkinstr/modules/parser/lexer.hpp"

using namespace nkinstr;

namespace {

constexpr std::size_t kPerFunction = 1000;

// One line per instruction, cycling through common shapes; every register
// read was defined before.
void append_instruction(std::string& out, std::size_t i) {
    const std::size_t prev = i == 0 ? 0 : i - 1;
    auto reg = [&](std::size_t k) { return k == 0 ? std::string("%a") : fmt::format("%v{}", k - 1); };
    const std::string x = reg(prev == 0 ? 0 : prev), y = reg(i / 2);
    switch (i % 8) {
        case 0: out += fmt::format("  %v{}: i64 = iadd.wrap {}, {}\n", i, x, y); break;
        case 1: out += fmt::format("  %v{}: i64 = imul.ssat {}, i64 3\n", i, x); break;
        case 2: out += fmt::format("  %v{}: i64 = isht.lsl {}, i64 1 ; shift\n", i, x); break;
        case 3: out += fmt::format("  %v{}: i64 = load %p, align 8\n", i); break;
        case 4: out += fmt::format("  %v{}: i1 = icmp.slt {}, %b\n", i, x); break;
        case 5: out += fmt::format("  %v{}: i64 = select {}, {}, %a\n", i, x, y); break;
        case 6: out += fmt::format("  %v{}: ptr = getelementptr [4 x i64], %p, i64 0, i64 1\n", i); break;
        case 7: out += fmt::format("  %v{}: i64 = xor {}, {}\n", i, x, y); break;
    }
}

std::string generate(std::size_t instructions) {
    std::string src;
    src.reserve(instructions * 40);
    for (std::size_t f = 0; f * kPerFunction < instructions; ++f) {
        src += fmt::format("define i64 f{}(%a: i64, %b: i64, %p: ptr) {{\nentry:\n", f);
        const std::size_t n = std::min(kPerFunction, instructions - f * kPerFunction);
        for (std::size_t i = 0; i < n; ++i) append_instruction(src, i);
        src += "  ret %a\n}\n\n";
    }
    return src;
}

// Process CPU time: the machine is shared, and wall-clock time would mostly
// measure the other processes. The reader is single-threaded.
double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t instructions = 1000000;
    std::string src;
    if (argc > 3 && std::string(argv[1]) == "--file") {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream buf;
        buf << in.rdbuf();
        src = buf.str();
        instructions = std::strtoull(argv[3], nullptr, 10);
    } else {
        if (argc > 1) instructions = std::strtoull(argv[1], nullptr, 10);
        src = generate(instructions);
    }
    const double mb = static_cast<double>(src.size()) / 1e6;

    double best_lex = 1e9, best_parse = 1e9;
    for (int round = 0; round < 5; ++round) {
        TypeRegistry registry;
        const double t0 = cpu_seconds();
        parser::LexResult lexed = parser::lex(src);
        const double lex_s = cpu_seconds() - t0;
        if (!lexed.errors.empty()) {
            std::fprintf(stderr, "lexing failed: %s\n", lexed.errors[0].message.c_str());
            return 1;
        }
        parser::State state(registry, [](std::string_view, bool) { return std::optional<Uuid>(Uuid{}); },
                            [] { return Uuid::new_v4(); });
        const double t1 = cpu_seconds();
        parser::ParseOutcome out = parser::parse_tokens(lexed.tokens, state);
        const double parse_s = cpu_seconds() - t1;
        if (!out.errors.empty()) {
            std::fprintf(stderr, "parsing failed: %s\n", out.errors[0].message.c_str());
            return 1;
        }
        best_lex = std::min(best_lex, lex_s);
        best_parse = std::min(best_parse, parse_s);
        if (round == 0)
            std::printf("source: %.1f MB, %zu instructions, %zu tokens, %zu functions\n", mb, instructions,
                        lexed.tokens.size(), out.items.size());
    }
    const double total = best_lex + best_parse;
    std::printf("best of 5 rounds, CPU time\n");
    std::printf("lex:        %7.3f s  %8.1f MB/s\n", best_lex, mb / best_lex);
    std::printf("parse:      %7.3f s  %8.1f MB/s\n", best_parse, mb / best_parse);
    std::printf("lex+parse:  %7.3f s  %8.1f MB/s  %.2f M instructions/s  (%.0f ns per instruction)\n", total,
                mb / total, static_cast<double>(instructions) / total / 1e6,
                total * 1e9 / static_cast<double>(instructions));
    return 0;
}
