#include "nkinstr/modules/instruction.hpp"

namespace nkinstr {

namespace {
constexpr std::string_view kOpNames[] = {
    "iadd", "isub", "imul", "idiv", "irem", "icmp", "isht", "ineg", "and", "or", "xor", "not", "implies",
    "equiv", "fadd", "fsub", "fmul", "fdiv", "frem", "fcmp", "fneg", "load", "store", "alloca",
    "getelementptr", "invoke", "phi", "select", "cast", "insertvalue", "extractvalue", "!assert", "!assume",
    "!isdef", "!prob", "!analysis", "!forall"};
constexpr std::string_view kOpDebugNames[] = {
    "IAdd", "ISub", "IMul", "IDiv", "IRem", "ICmp", "ISht", "INeg", "IAnd", "IOr", "IXor", "INot", "IImplies",
    "IEquiv", "FAdd", "FSub", "FMul", "FDiv", "FRem", "FCmp", "FNeg", "MLoad", "MStore", "MAlloca",
    "MGetElementPtr", "Invoke", "Phi", "Select", "Cast", "InsertValue", "ExtractValue", "MetaAssert",
    "MetaAssume", "MetaIsDef", "MetaProb", "MetaAnalysisStat", "MetaForall"};
static_assert(std::size(kOpNames) == kInstrOpCount);
static_assert(std::variant_size_v<NkInstr::Variant> == kInstrOpCount);
}  // namespace

std::string_view opname(NkInstrOp op) { return kOpNames[static_cast<int>(op)]; }
std::string_view op_debug_name(NkInstrOp op) { return kOpDebugNames[static_cast<int>(op)]; }

std::optional<NkInstrOp> parse_instr_op(std::string_view text) {
    for (int i = 0; i < kInstrOpCount; ++i)
        if (kOpNames[i] == text) return static_cast<NkInstrOp>(i);
    return std::nullopt;
}

std::optional<Name> NkInstr::destination() const {
    return std::visit(
        [](const auto& r) -> std::optional<Name> {
            if constexpr (requires { r.dest; }) return r.dest;
            else return std::nullopt;
        },
        v);
}

Name* NkInstr::destination_mut() {
    return std::visit(
        [](auto& r) -> Name* {
            using D = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<D, Invoke>) return r.dest ? &*r.dest : nullptr;
            else if constexpr (requires { r.dest; }) return &r.dest;
            else return nullptr;
        },
        v);
}

std::optional<Typeref> NkInstr::destination_type() const {
    return std::visit(
        [](const auto& r) -> std::optional<Typeref> {
            if constexpr (requires { r.ty; }) return r.ty;
            else return std::nullopt;
        },
        v);
}

std::size_t NkInstr::operand_count() const {
    std::size_t n = 0;
    for_each_operand([&](const Operand&) { ++n; });
    return n;
}

void NkInstr::remap_types(const TypeMap& map) {
    for_each_referenced_type_mut([&](Typeref& r) {
        if (auto it = map.find(r); it != map.end()) r = it->second;
    });
}

}  // namespace nkinstr
