#pragma once
// Symbol attributes of functions: visibility and calling convention.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nkinstr {

enum class Visibility : std::uint8_t { Default, Hidden, Protected };
inline constexpr int kVisibilityCount = 3;

std::string_view visibility_text(Visibility v);        // "default", "hidden", "protected"
std::string_view visibility_debug_name(Visibility v);  // "Default", ...
std::optional<Visibility> parse_visibility(std::string_view text);

struct CallingConvention {
    // Index = tag; Numbered carries `number`.
    enum class Kind : std::uint8_t {
        C, FastC, ColdC, GhcC, HipeC, AnyRegC, PreserveMostC, PreserveAllC, PreserveNoneC,
        CxxFastTlsC, TailC, SwiftC, SwiftTailC, CfguardCheckC, Numbered
    };
    static constexpr int kKindCount = 15;

    Kind kind = Kind::C;
    std::uint32_t number = 0;  // only meaningful for Numbered

    static CallingConvention numbered(std::uint32_t n) { return {Kind::Numbered, n}; }
    // "cc", "fastcc", ..., "cc{n}" for Numbered.
    std::string to_string() const;
    std::string debug_name() const;  // "C", ..., "Numbered(10)"
    // Fixed words first (so "cc" is C); then "cc" + optional '+' + u32 digits.
    static std::optional<CallingConvention> parse(std::string_view text);

    friend bool operator==(const CallingConvention& a, const CallingConvention& b) {
        return a.kind == b.kind && (a.kind != Kind::Numbered || a.number == b.number);
    }
};

}  // namespace nkinstr
