#include "nkinstr/modules/fmt/writer.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr::printing {

namespace {

// The diagnostic words of !prob differ from the words the reader accepts.
constexpr std::string_view kProbDiagnosticWords[] = {"prob", "ev", "var"};

template <class R>
constexpr bool kHasVariantWord =
    std::is_same_v<R, IAdd> || std::is_same_v<R, ISub> || std::is_same_v<R, IMul> || std::is_same_v<R, IDiv> ||
    std::is_same_v<R, IRem> || std::is_same_v<R, ICmp> || std::is_same_v<R, ISht> || std::is_same_v<R, FCmp>;

template <class R>
std::string_view variant_word(const R& r) {
    if constexpr (requires { r.signedness; })
        return enum_text(r.signedness);
    else
        return enum_text(r.variant);
}

void append_hex_uuid(std::string& out, const Uuid& u) {
    constexpr char kHex[] = "0123456789abcdef";
    for (auto b : u.bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0xF]);
    }
}

}  // namespace

void append_source_function_name(std::string& out, const Function& f) {
    if (f.name) {
        out += *f.name;
        return;
    }
    // UUID digits without dashes keep the name a single identifier word.
    out += "anon_";
    append_hex_uuid(out, f.uuid);
}

std::string source_function_name(const Function& f) {
    std::string s;
    append_source_function_name(s, f);
    return s;
}

void Writer::number(std::uint64_t v) { fmt::format_to(std::back_inserter(out_), "{}", v); }

void Writer::type(Typeref r) {
    if (ctx_.registry) {
        ctx_.registry->append_type(out_, r);
    } else if (r.is_wildcard()) {
        append_wildcard_name(out_, r.wildcard_index());
    } else {
        text("<unknown type ");
        r.uuid.append_to(out_);
        text(">");
    }
}

void Writer::name(Name n) {
    text("%");
    number(n.id);
}

void Writer::label(Label l) {
    text("block_");
    number(l.id);
}

void Writer::function_pointer(const FunctionPointer& p) {
    text(p.is_external() ? "ptr external " : "ptr ");
    const auto unresolved = [&](std::string_view why) {
        text("<");
        text(why);
        text("@");
        p.uuid.append_to(out_);
        text(">");
    };
    if (!ctx_.module) return unresolved("unresolved");
    if (p.is_external()) {
        auto it = ctx_.module->external_functions.find(p.uuid);
        if (it == ctx_.module->external_functions.end()) return unresolved("invalid");
        if (!source()) text("%");
        text(it->second.name);
        return;
    }
    auto it = ctx_.module->functions.find(p.uuid);
    if (it == ctx_.module->functions.end() || !it->second) return unresolved("invalid");
    const Function& f = *it->second;
    if (source()) {
        append_source_function_name(out_, f);
    } else if (f.name) {
        text("%");
        text(*f.name);
    } else {
        text("@");
        p.uuid.append_to(out_);
    }
}

void Writer::decimal(const Decimal& d) {
    const std::size_t start = out_.size();
    append_text(out_, d);
    if (!source() || out_.find_first_of(".e", start) != std::string::npos) return;
    // A plain integer would read back as an integer literal; the exponent form
    // keeps both the digits and the scale: (250, 0) -> 250e0, (25, -1) -> 25e1.
    out_.resize(start);
    out_ += d.unscaled.str();
    out_.push_back('e');
    const __int128 exponent = -static_cast<__int128>(d.scale);
    if (exponent < 0) {
        out_.push_back('-');
        number(static_cast<std::uint64_t>(-exponent));
    } else {
        number(static_cast<std::uint64_t>(exponent));
    }
}

void Writer::constant(const AnyConst& c) {
    std::visit(Overloaded{
                   [&](const IConst& v) { append_text(out_, v); },
                   [&](const FConst& v) {
                       text(ftype_text(v.ty));
                       text(" ");
                       decimal(v.value);
                   },
                   [&](const FunctionPointer& v) { function_pointer(v); },
               },
               c);
}

void Writer::operand(const Operand& o) {
    std::visit(Overloaded{
                   [&](const Name& n) { name(n); },
                   [&](const AnyConst& c) { constant(c); },
                   [&](const Undef& u) {
                       if (ctx_.registry || source()) {
                           type(u.ty);
                           text(" ");
                       }
                       text("undef");
                   },
               },
               o);
}

void Writer::operand_list(const NkInstr& i) {
    bool first = true;
    i.for_each_operand([&](const Operand& o) {
        text(first ? " " : ", ");
        first = false;
        operand(o);
    });
}

void Writer::memory_clauses(std::optional<MemoryOrdering> ordering, std::optional<std::uint32_t> align,
                            bool is_volatile) {
    // In source form the ordering is a variant word of the mnemonic.
    if (ordering && !source()) {
        text(", atomic ");
        text(enum_text(*ordering));
    }
    if (align) {
        text(", align ");
        number(*align);
    }
    if (is_volatile && source()) text(", volatile");
}

void Writer::aggregate_indices(const std::vector<std::uint32_t>& indices) {
    for (auto index : indices) {
        text(", i32 ");
        number(index);
    }
}

void Writer::analysis(const AnalysisStatistic& s) {
    std::visit(Overloaded{
                   [&](const InstructionCount& c) {
                       fmt::format_to(std::back_inserter(out_), ".icnt i32 0x{:x}", c.flags.bits);
                   },
                   [&](const ExecutionCount&) { text(".excnt"); },
                   [&](const TerminationBehavior& t) {
                       std::visit(Overloaded{
                                      [&](const BlockExit&) { text(".term.blockexit"); },
                                      [&](const FunctionExit&) { text(".term.funcexit"); },
                                      [&](const ReachAny& r) {
                                          text(".term.reach ");
                                          for (std::size_t k = 0; k < r.labels.size(); ++k) {
                                              if (k) text(", ");
                                              label(r.labels[k]);
                                          }
                                      },
                                  },
                                  t.scope);
                   },
               },
               s);
}

void Writer::instruction(const NkInstr& i) {
    if (auto dest = i.destination()) {
        name(*dest);
        text(": ");
        if (auto ty = i.destination_type())
            type(*ty);
        else
            text("<missing type>");
        text(" = ");
    }
    text(opname(i.op()));
    instruction_body(i);
}

void Writer::instruction_body(const NkInstr& i) {
    std::visit(
        [&](const auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (kHasVariantWord<R>) {
                text(".");
                text(variant_word(r));
                if (!source()) text(" ");  // diagnostics keep the historical double space
                operand_list(i);
            } else if constexpr (std::is_same_v<R, MLoad> || std::is_same_v<R, MStore>) {
                if (r.ordering && source()) {
                    text(".");
                    text(enum_text(*r.ordering));
                }
                if (r.volatile_ && !source()) text(" volatile");
                operand_list(i);
                memory_clauses(r.ordering, r.alignement, r.volatile_);
            } else if constexpr (std::is_same_v<R, MAlloca>) {
                if (!source()) {
                    text(" ");
                    type(r.ty);
                }
                text(" ");
                operand(r.count);
                memory_clauses(std::nullopt, r.alignement, false);
            } else if constexpr (std::is_same_v<R, MGetElementPtr>) {
                text(" ");
                type(r.in_ty);
                text(source() ? "," : ", ");
                operand_list(i);
            } else if constexpr (std::is_same_v<R, Invoke>) {
                if (r.cconv && !source()) {
                    text(" ");
                    text(r.cconv->to_string());
                }
                operand_list(i);
                // The reader has no place for an invoke's convention; keep it visible.
                if (r.cconv && source()) {
                    text(" ; calling convention ");
                    text(r.cconv->to_string());
                }
            } else if constexpr (std::is_same_v<R, Phi>) {
                for (std::size_t k = 0; k < r.values.size(); ++k) {
                    text(k ? ", [" : " [");
                    operand(r.values[k].first);
                    text(", ");
                    label(r.values[k].second);
                    text("]");
                }
            } else if constexpr (std::is_same_v<R, InsertValue>) {
                operand_list(i);
                aggregate_indices(r.indices);
            } else if constexpr (std::is_same_v<R, ExtractValue>) {
                operand_list(i);
                aggregate_indices(r.indices);
            } else if constexpr (std::is_same_v<R, Cast>) {
                if (source()) {
                    text(".");
                    text(enum_text(r.variant));
                }
                operand_list(i);
            } else if constexpr (std::is_same_v<R, MetaProb>) {
                text(".");
                text(source() ? enum_text(r.operand.variant)
                              : kProbDiagnosticWords[static_cast<std::size_t>(r.operand.variant)]);
                operand_list(i);
            } else if constexpr (std::is_same_v<R, MetaAnalysisStat>) {
                analysis(r.statistic);
            } else {
                operand_list(i);
            }
        },
        i.v);
}

void Writer::terminator(const NkTerminator& t) {
    std::visit(Overloaded{
                   [&](const Branch& b) {
                       text("branch ");
                       operand(b.cond);
                       text(", ");
                       label(b.target_true);
                       text(", ");
                       label(b.target_false);
                   },
                   [&](const Jump& j) {
                       text(source() ? "jump " : "jump label ");
                       label(j.target);
                   },
                   [&](const Ret& r) {
                       text("ret ");
                       if (r.value)
                           operand(*r.value);
                       else
                           text("void");
                   },
                   [&](const Trap&) { text("trap"); },
               },
               t.v);
}

}  // namespace nkinstr::printing
