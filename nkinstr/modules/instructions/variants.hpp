#pragma once
// The small enumerations that qualify instructions, with their text forms.
// Variant order = encoding tag; each text table is in that order.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace nkinstr {

enum class OverflowSignednessPolicy : std::uint8_t { Wrap, SSat, USat, STrap, UTrap };
enum class IntegerSignedness : std::uint8_t { Signed, Unsigned };
enum class ICmpVariant : std::uint8_t { Eq, Ne, Ugt, Uge, Ult, Ule, Sgt, Sge, Slt, Sle };
enum class IShiftVariant : std::uint8_t { Lsl, Lsr, Asr, Rol, Ror };
enum class FCmpVariant : std::uint8_t { Oeq, Ogt, Oge, Olt, Ole, One, Ueq, Ugt, Uge, Ult, Ule, Une, Ord };
enum class CastVariant : std::uint8_t {
    Trunc, ZExt, SExt, FpTrunc, FpExt, FpToUI, FpToSI, UIToFp, SIToFp, PtrToInt, IntToPtr, Bitcast
};
enum class MemoryOrdering : std::uint8_t { Unordered, Monotonic, Acq, Rel, AcqRel, SeqCst };
enum class MetaProbVariant : std::uint8_t { Probability, ExpectedValue, Variance };
enum class AnalysisStatisticOp : std::uint8_t { InstructionCount, ExecutionCount, TerminationBehavior };

// Text and debug names of an enumeration, indexed by variant.
template <class E>
struct EnumTexts;

#define NK_ENUM_TEXTS(E, ...)                                                        \
    template <>                                                                      \
    struct EnumTexts<E> {                                                            \
        static constexpr std::string_view texts[] = {__VA_ARGS__};                   \
        static constexpr std::size_t count = sizeof(texts) / sizeof(texts[0]);       \
    };

NK_ENUM_TEXTS(OverflowSignednessPolicy, "wrap", "ssat", "usat", "strap", "utrap")
NK_ENUM_TEXTS(IntegerSignedness, "signed", "unsigned")
NK_ENUM_TEXTS(ICmpVariant, "eq", "ne", "ugt", "uge", "ult", "ule", "sgt", "sge", "slt", "sle")
NK_ENUM_TEXTS(IShiftVariant, "lsl", "lsr", "asr", "rol", "ror")
NK_ENUM_TEXTS(FCmpVariant, "oeq", "ogt", "oge", "olt", "ole", "one", "ueq", "ugt", "uge", "ult", "ule", "une", "ord")
NK_ENUM_TEXTS(CastVariant, "trunc", "zext", "sext", "fptrunc", "fpext", "fptoui", "fptosi", "uitofp", "sitofp",
              "ptrtoint", "inttoptr", "bitcast")
NK_ENUM_TEXTS(MemoryOrdering, "unordered", "monotonic", "acquire", "release", "acq_rel", "seq_cst")
NK_ENUM_TEXTS(MetaProbVariant, "prb", "xpt", "var")
NK_ENUM_TEXTS(AnalysisStatisticOp, "icnt", "excnt", "term")
#undef NK_ENUM_TEXTS

template <class E>
constexpr std::string_view enum_text(E e) {
    return EnumTexts<E>::texts[static_cast<std::size_t>(e)];
}

template <class E>
constexpr std::optional<E> parse_enum(std::string_view text) {
    for (std::size_t i = 0; i < EnumTexts<E>::count; ++i)
        if (EnumTexts<E>::texts[i] == text) return static_cast<E>(i);
    return std::nullopt;
}

template <class E>
constexpr std::size_t enum_count() {
    return EnumTexts<E>::count;
}

// Debug names (the variant names) for the debug form of instructions.
std::string_view enum_debug_name(OverflowSignednessPolicy v);
std::string_view enum_debug_name(IntegerSignedness v);
std::string_view enum_debug_name(ICmpVariant v);
std::string_view enum_debug_name(IShiftVariant v);
std::string_view enum_debug_name(FCmpVariant v);
std::string_view enum_debug_name(CastVariant v);
std::string_view enum_debug_name(MemoryOrdering v);

}  // namespace nkinstr
