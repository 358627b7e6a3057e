#include "nkinstr/modules/symbols.hpp"

#include <charconv>

namespace nkinstr {

namespace {
constexpr std::string_view kVisibilityTexts[] = {"default", "hidden", "protected"};
constexpr std::string_view kVisibilityNames[] = {"Default", "Hidden", "Protected"};
constexpr std::string_view kCconvTexts[] = {"cc",          "fastcc",         "coldcc",         "ghccc",
                                            "hipecc",      "anyregcc",       "preservemostcc", "preserveallcc",
                                            "preservenonecc", "cxx_fast_tlscc", "tailcc",         "swiftcc",
                                            "swifttailcc", "cfguard_checkcc"};
constexpr std::string_view kCconvNames[] = {"C",          "FastC",        "ColdC",        "GhcC",
                                            "HipeC",      "AnyRegC",      "PreserveMostC", "PreserveAllC",
                                            "PreserveNoneC", "CxxFastTlsC", "TailC",        "SwiftC",
                                            "SwiftTailC", "CfguardCheckC"};
}  // namespace

std::string_view visibility_text(Visibility v) { return kVisibilityTexts[static_cast<int>(v)]; }
std::string_view visibility_debug_name(Visibility v) { return kVisibilityNames[static_cast<int>(v)]; }

std::optional<Visibility> parse_visibility(std::string_view text) {
    for (int i = 0; i < kVisibilityCount; ++i)
        if (kVisibilityTexts[i] == text) return static_cast<Visibility>(i);
    return std::nullopt;
}

std::string CallingConvention::to_string() const {
    if (kind == Kind::Numbered) return "cc" + std::to_string(number);
    return std::string(kCconvTexts[static_cast<int>(kind)]);
}

std::string CallingConvention::debug_name() const {
    if (kind == Kind::Numbered) return "Numbered(" + std::to_string(number) + ")";
    return std::string(kCconvNames[static_cast<int>(kind)]);
}

std::optional<CallingConvention> CallingConvention::parse(std::string_view text) {
    for (int i = 0; i < 14; ++i)
        if (kCconvTexts[i] == text) return CallingConvention{static_cast<Kind>(i), 0};
    if (text.size() < 3 || text.substr(0, 2) != "cc") return std::nullopt;
    std::string_view rest = text.substr(2);
    if (rest.front() == '+') rest.remove_prefix(1);
    if (rest.empty()) return std::nullopt;
    for (char c : rest)
        if (c < '0' || c > '9') return std::nullopt;
    std::uint32_t n = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (ec != std::errc() || end != rest.data() + rest.size()) return std::nullopt;
    return numbered(n);
}

}  // namespace nkinstr
