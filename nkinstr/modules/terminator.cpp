#include "nkinstr/modules/terminator.hpp"

namespace nkinstr {

namespace {
constexpr std::string_view kTexts[] = {"branch", "jump", "ret", "trap"};
constexpr std::string_view kNames[] = {"Branch", "Jump", "Ret", "Trap"};
}  // namespace

std::string_view terminator_text(NkTerminatorOp op) { return kTexts[static_cast<int>(op)]; }
std::string_view terminator_debug_name(NkTerminatorOp op) { return kNames[static_cast<int>(op)]; }

std::optional<NkTerminatorOp> parse_terminator_op(std::string_view text) {
    for (int i = 0; i < 4; ++i)
        if (kTexts[i] == text) return static_cast<NkTerminatorOp>(i);
    return std::nullopt;
}

}  // namespace nkinstr
