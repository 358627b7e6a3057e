#pragma once
// The 37 instruction records, grouped by family. In every record `dest` is the
// register the instruction defines and `ty` its (result) type.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "nkinstr/analysis/statistics.hpp"
#include "nkinstr/modules/instructions/variants.hpp"
#include "nkinstr/modules/operand.hpp"
#include "nkinstr/modules/symbols.hpp"

namespace nkinstr {

// ---- integer ----
template <class Tag>
struct IntArith {  // iadd, isub, imul
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    OverflowSignednessPolicy variant = OverflowSignednessPolicy::Wrap;
    friend bool operator==(const IntArith&, const IntArith&) = default;
};
using IAdd = IntArith<struct IAddTag>;
using ISub = IntArith<struct ISubTag>;
using IMul = IntArith<struct IMulTag>;

template <class Tag>
struct IntDivision {  // idiv, irem
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    IntegerSignedness signedness = IntegerSignedness::Signed;
    friend bool operator==(const IntDivision&, const IntDivision&) = default;
};
using IDiv = IntDivision<struct IDivTag>;
using IRem = IntDivision<struct IRemTag>;

struct ICmp {
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    ICmpVariant variant = ICmpVariant::Eq;
    friend bool operator==(const ICmp&, const ICmp&) = default;
};

struct ISht {
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    IShiftVariant variant = IShiftVariant::Lsl;
    friend bool operator==(const ISht&, const ISht&) = default;
};

template <class Tag>
struct Unary {  // ineg, not, fneg
    Name dest;
    Typeref ty;
    Operand value;
    friend bool operator==(const Unary&, const Unary&) = default;
};
using INeg = Unary<struct INegTag>;
using INot = Unary<struct INotTag>;

template <class Tag>
struct Binary {  // and, or, xor, implies, equiv and the floating-point arithmetic
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    friend bool operator==(const Binary&, const Binary&) = default;
};
using IAnd = Binary<struct IAndTag>;
using IOr = Binary<struct IOrTag>;
using IXor = Binary<struct IXorTag>;
using IImplies = Binary<struct IImpliesTag>;
using IEquiv = Binary<struct IEquivTag>;

// ---- floating point ----
using FAdd = Binary<struct FAddTag>;
using FSub = Binary<struct FSubTag>;
using FMul = Binary<struct FMulTag>;
using FDiv = Binary<struct FDivTag>;
using FRem = Binary<struct FRemTag>;

struct FCmp {
    Name dest;
    Typeref ty;
    Operand lhs, rhs;
    FCmpVariant variant = FCmpVariant::Oeq;
    friend bool operator==(const FCmp&, const FCmp&) = default;
};
using FNeg = Unary<struct FNegTag>;

// ---- memory ----
struct MLoad {
    Name dest;
    Typeref ty;
    Operand addr;
    std::optional<std::uint32_t> alignement;  // sic: the field's established name
    std::optional<MemoryOrdering> ordering;
    bool volatile_ = false;
    friend bool operator==(const MLoad&, const MLoad&) = default;
};

struct MStore {
    Operand addr;
    Operand value;
    std::optional<std::uint32_t> alignement;
    std::optional<MemoryOrdering> ordering;
    bool volatile_ = false;
    friend bool operator==(const MStore&, const MStore&) = default;
};

struct MAlloca {
    Name dest;
    Typeref ty;
    Operand count;
    std::optional<std::uint32_t> alignement;
    friend bool operator==(const MAlloca&, const MAlloca&) = default;
};

struct MGetElementPtr {
    Name dest;
    Typeref ty;
    Typeref in_ty;
    Operand base;
    std::vector<Operand> indices;
    friend bool operator==(const MGetElementPtr&, const MGetElementPtr&) = default;
};

// ---- miscellaneous ----
struct Invoke {
    Operand function;
    std::vector<Operand> args;
    std::optional<Name> dest;
    std::optional<Typeref> ty;
    std::optional<CallingConvention> cconv;
    friend bool operator==(const Invoke&, const Invoke&) = default;
};

struct Phi {
    Name dest;
    Typeref ty;
    std::vector<std::pair<Operand, Label>> values;
    friend bool operator==(const Phi&, const Phi&) = default;
};

struct Select {
    Name dest;
    Operand condition;
    Operand true_value;
    Operand false_value;
    Typeref ty;
    friend bool operator==(const Select&, const Select&) = default;
};

struct Cast {
    Name dest;
    Typeref ty;
    Operand value;
    CastVariant variant = CastVariant::Trunc;
    friend bool operator==(const Cast&, const Cast&) = default;
};

struct InsertValue {
    Name dest;
    Typeref ty;
    Operand aggregate;
    Operand value;
    std::vector<std::uint32_t> indices;
    friend bool operator==(const InsertValue&, const InsertValue&) = default;
};

struct ExtractValue {
    Name dest;
    Typeref ty;
    Operand aggregate;
    std::vector<std::uint32_t> indices;
    friend bool operator==(const ExtractValue&, const ExtractValue&) = default;
};

// ---- meta ----
template <class Tag>
struct MetaCondition {  // !assert, !assume
    Operand condition;
    friend bool operator==(const MetaCondition&, const MetaCondition&) = default;
};
using MetaAssert = MetaCondition<struct MetaAssertTag>;
using MetaAssume = MetaCondition<struct MetaAssumeTag>;

struct MetaIsDef {
    Name dest;
    Typeref ty;
    Operand operand;
    friend bool operator==(const MetaIsDef&, const MetaIsDef&) = default;
};

// The operand of !prob; its variant is the MetaProbVariant.
struct MetaProbArg {
    MetaProbVariant variant = MetaProbVariant::Probability;
    Operand operand;
    friend bool operator==(const MetaProbArg&, const MetaProbArg&) = default;
};

struct MetaProb {
    Name dest;
    Typeref ty;
    MetaProbArg operand;
    friend bool operator==(const MetaProb&, const MetaProb&) = default;
};

struct MetaAnalysisStat {
    Name dest;
    Typeref ty;
    AnalysisStatistic statistic;
    friend bool operator==(const MetaAnalysisStat&, const MetaAnalysisStat&) = default;
};

struct MetaForall {
    Name dest;
    Typeref ty;
    friend bool operator==(const MetaForall&, const MetaForall&) = default;
};

}  // namespace nkinstr
