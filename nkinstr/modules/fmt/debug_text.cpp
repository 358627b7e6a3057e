// The debug form of an instruction: its variant name wrapping the record with
// every field, e.g. MetaAssert(MetaAssert { condition: Reg(Name(0)) }).

#include <fmt/format.h>

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

namespace {

class DebugWriter {
public:
    explicit DebugWriter(std::string& out) : out_(out) {}

    void value(Name n) { fmt::format_to(std::back_inserter(out_), "Name({})", n.id); }
    void value(Label l) { fmt::format_to(std::back_inserter(out_), "Label({})", l.id); }
    void value(const Typeref& r) { out_ += r.debug_string(); }
    void value(bool b) { out_ += b ? "true" : "false"; }
    void value(std::uint32_t v) { fmt::format_to(std::back_inserter(out_), "{}", v); }
    void value(const CallingConvention& c) { out_ += c.debug_name(); }
    template <class E>
        requires std::is_enum_v<E>
    void value(E e) { out_ += enum_debug_name(e); }

    void value(const IConst& c) {
        fmt::format_to(std::back_inserter(out_), "IConst {{ ty: IType {{ num_bits: {} }}, value: {} }}",
                       c.ty.num_bits, c.value.str());
    }
    void value(const FConst& c) {
        out_ += "FConst { ty: ";
        out_ += ftype_debug_name(c.ty);
        out_ += ", value: ";
        append_text(out_, c.value);
        out_ += " }";
    }
    void value(const FunctionPointer& p) {
        out_ += p.is_external() ? "External(" : "Internal(";
        p.uuid.append_to(out_);
        out_ += ")";
    }
    void value(const AnyConst& c) {
        std::visit(Overloaded{
                       [&](const IConst& v) { wrap("Int", v); },
                       [&](const FConst& v) { wrap("Float", v); },
                       [&](const FunctionPointer& v) { wrap("FuncPtr", v); },
                   },
                   c);
    }
    void value(const Operand& o) {
        std::visit(Overloaded{
                       [&](const Name& v) { wrap("Reg", v); },
                       [&](const AnyConst& v) { wrap("Imm", v); },
                       [&](const Undef& v) { wrap("Undef", v.ty); },
                   },
                   o);
    }
    void value(const MetaProbArg& a) {
        constexpr std::string_view kNames[] = {"Probability", "ExpectedValue", "Variance"};
        wrap(kNames[static_cast<std::size_t>(a.variant)], a.operand);
    }
    void value(const AnalysisStatistic& s) {
        std::visit(Overloaded{
                       [&](const InstructionCount& c) {
                           fmt::format_to(std::back_inserter(out_), "InstructionCount(InstructionFlags({:#x}))",
                                          c.flags.bits);
                       },
                       [&](const ExecutionCount&) { out_ += "ExecutionCount"; },
                       [&](const TerminationBehavior& t) {
                           out_ += "TerminationBehavior(";
                           std::visit(Overloaded{
                                          [&](const BlockExit&) { out_ += "BlockExit"; },
                                          [&](const FunctionExit&) { out_ += "FunctionExit"; },
                                          [&](const ReachAny& r) { wrap("ReachAny", r.labels); },
                                      },
                                      t.scope);
                           out_ += ")";
                       },
                   },
                   s);
    }
    template <class T>
    void value(const std::optional<T>& o) {
        if (o)
            wrap("Some", *o);
        else
            out_ += "None";
    }
    template <class A, class B>
    void value(const std::pair<A, B>& p) {
        out_ += "(";
        value(p.first);
        out_ += ", ";
        value(p.second);
        out_ += ")";
    }
    template <class T>
    void value(const std::vector<T>& items) {
        out_ += "[";
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (k) out_ += ", ";
            value(items[k]);
        }
        out_ += "]";
    }

    template <class T>
    void wrap(std::string_view name, const T& inner) {
        out_ += name;
        out_ += "(";
        value(inner);
        out_ += ")";
    }

    // Record fields: "{ a: .., b: .. }" (or nothing for a field-less record).
    void open() { first_ = true; }
    template <class T>
    void field(std::string_view name, const T& v) {
        out_ += first_ ? " { " : ", ";
        first_ = false;
        out_ += name;
        out_ += ": ";
        value(v);
    }
    void close() {
        if (!first_) out_ += " }";
    }

private:
    std::string& out_;
    bool first_ = true;
};

// Fields in declaration order, shared by records of the same shape.
template <class R>
void record_fields(DebugWriter& w, const R& r) {
    if constexpr (std::is_same_v<R, Invoke>) {
        w.field("function", r.function);
        w.field("args", r.args);
        w.field("dest", r.dest);
        w.field("ty", r.ty);
        w.field("cconv", r.cconv);
        return;
    } else if constexpr (std::is_same_v<R, MStore>) {
        w.field("addr", r.addr);
        w.field("value", r.value);
        w.field("alignement", r.alignement);
        w.field("ordering", r.ordering);
        w.field("volatile", r.volatile_);
        return;
    } else if constexpr (std::is_same_v<R, Select>) {
        w.field("dest", r.dest);
        w.field("condition", r.condition);
        w.field("true_value", r.true_value);
        w.field("false_value", r.false_value);
        w.field("ty", r.ty);
        return;
    } else {
        if constexpr (requires { r.dest; }) w.field("dest", r.dest);
        if constexpr (requires { r.ty; }) w.field("ty", r.ty);
        if constexpr (requires { r.in_ty; }) w.field("in_ty", r.in_ty);
        if constexpr (requires { r.lhs; }) {
            w.field("lhs", r.lhs);
            w.field("rhs", r.rhs);
        }
        if constexpr (requires { r.addr; }) w.field("addr", r.addr);
        if constexpr (requires { r.count; }) w.field("count", r.count);
        if constexpr (requires { r.base; }) {
            w.field("base", r.base);
            w.field("indices", r.indices);
        }
        if constexpr (requires { r.values; }) w.field("values", r.values);
        if constexpr (requires { r.aggregate; }) w.field("aggregate", r.aggregate);
        if constexpr (requires { r.value; }) w.field("value", r.value);
        if constexpr (requires { r.aggregate; r.indices; }) w.field("indices", r.indices);
        if constexpr (requires { r.condition; }) w.field("condition", r.condition);
        if constexpr (requires { r.operand; }) w.field("operand", r.operand);
        if constexpr (requires { r.statistic; }) w.field("statistic", r.statistic);
        if constexpr (requires { r.alignement; }) w.field("alignement", r.alignement);
        if constexpr (requires { r.ordering; }) w.field("ordering", r.ordering);
        if constexpr (requires { r.volatile_; }) w.field("volatile", r.volatile_);
        if constexpr (requires { r.signedness; }) w.field("signedness", r.signedness);
        if constexpr (requires { r.variant; }) w.field("variant", r.variant);
    }
}

}  // namespace

std::string instruction_debug_text(const NkInstr& i) {
    std::string out;
    const std::string_view name = op_debug_name(i.op());
    out += name;
    out += "(";
    out += name;
    DebugWriter w(out);
    std::visit(
        [&](const auto& r) {
            w.open();
            record_fields(w, r);
            w.close();
        },
        i.v);
    out += ")";
    return out;
}

}  // namespace nkinstr
