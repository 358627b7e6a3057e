#include "nkinstr/consts/constants.hpp"

#include <fmt/format.h>

namespace nkinstr {

namespace {
// Beyond this many padding zeros the exponent form is used.
constexpr std::int64_t kMaxPaddingZeros = 32;
}

void append_text(std::string& out, const Decimal& d) {
    const bool negative = d.unscaled < 0;
    const std::string digits = (negative ? BigInt(-d.unscaled) : d.unscaled).str();
    if (negative) out.push_back('-');
    const auto n = static_cast<std::int64_t>(digits.size());
    if (d.scale <= 0) {
        if (d.unscaled == 0 || d.scale >= -kMaxPaddingZeros) {  // no negation: scale may be INT64_MIN
            out += digits;
            if (d.unscaled != 0) out.append(static_cast<std::size_t>(-d.scale), '0');
            return;
        }
    } else if (d.scale < n) {
        out.append(digits, 0, static_cast<std::size_t>(n - d.scale));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(n - d.scale));
        return;
    } else if (d.scale - n <= kMaxPaddingZeros) {
        out += "0.";
        out.append(static_cast<std::size_t>(d.scale - n), '0');
        out += digits;
        return;
    }
    // Exponent form: d.ddd e<exp>, exp = (n - 1) - scale, computed without overflow.
    out.push_back(digits[0]);
    if (n > 1) {
        out.push_back('.');
        out.append(digits, 1);
    }
    const __int128 exponent = static_cast<__int128>(n - 1) - d.scale;
    out.push_back('e');
    if (exponent < 0) out.push_back('-');
    unsigned __int128 magnitude = exponent < 0 ? -static_cast<unsigned __int128>(exponent) : exponent;
    out += fmt::format("{}", static_cast<std::uint64_t>(magnitude));
}

std::string to_string(const Decimal& d) {
    std::string s;
    append_text(s, d);
    return s;
}

void append_text(std::string& out, const IConst& c) {
    append_text(out, c.ty);
    out.push_back(' ');
    out += c.value.str();
}

void append_text(std::string& out, const FConst& c) {
    out += ftype_text(c.ty);
    out.push_back(' ');
    append_text(out, c.value);
}

}  // namespace nkinstr
