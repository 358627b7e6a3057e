#include "nkinstr/modules/instructions/variants.hpp"

namespace nkinstr {

namespace {
constexpr std::string_view kPolicyNames[] = {"Wrap", "SSat", "USat", "STrap", "UTrap"};
constexpr std::string_view kSignednessNames[] = {"Signed", "Unsigned"};
constexpr std::string_view kICmpNames[] = {"Eq", "Ne", "Ugt", "Uge", "Ult", "Ule", "Sgt", "Sge", "Slt", "Sle"};
constexpr std::string_view kShiftNames[] = {"Lsl", "Lsr", "Asr", "Rol", "Ror"};
constexpr std::string_view kFCmpNames[] = {"Oeq", "Ogt", "Oge", "Olt", "Ole", "One", "Ueq",
                                           "Ugt", "Uge", "Ult", "Ule", "Une", "Ord"};
constexpr std::string_view kCastNames[] = {"Trunc",  "ZExt",   "SExt",   "FpTrunc",  "FpExt",    "FpToUI",
                                           "FpToSI", "UIToFp", "SIToFp", "PtrToInt", "IntToPtr", "Bitcast"};
constexpr std::string_view kOrderingNames[] = {"Unordered", "Monotonic", "Acq", "Rel", "AcqRel", "SeqCst"};
}  // namespace

std::string_view enum_debug_name(OverflowSignednessPolicy v) { return kPolicyNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(IntegerSignedness v) { return kSignednessNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(ICmpVariant v) { return kICmpNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(IShiftVariant v) { return kShiftNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(FCmpVariant v) { return kFCmpNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(CastVariant v) { return kCastNames[static_cast<int>(v)]; }
std::string_view enum_debug_name(MemoryOrdering v) { return kOrderingNames[static_cast<int>(v)]; }

}  // namespace nkinstr
