#include "nkcore/utils/semver.hpp"

#include <fmt/format.h>

namespace nkcore::semver {

namespace {

using nkinstr::fail;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ident_char(char c) { return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-'; }
bool is_wildcard(char c) { return c == '*' || c == 'x' || c == 'X'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool all_digits(std::string_view s) {
    for (char c : s)
        if (!is_digit(c)) return false;
    return !s.empty();
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

std::string describe(char c) {
    if (c >= 0x20 && c < 0x7F) return fmt::format("'{}'", c);
    return fmt::format("byte 0x{:02x}", static_cast<unsigned char>(c));
}

// A cursor over the text being parsed; errors name what was being read.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool done() const { return pos_ >= text_.size(); }
    char peek() const { return done() ? '\0' : text_[pos_]; }
    void advance() { ++pos_; }
    bool eat(char c) {
        if (peek() != c || done()) return false;
        ++pos_;
        return true;
    }
    void skip_spaces() {
        while (!done() && is_space(peek())) ++pos_;
    }

    nkinstr::Result<std::uint64_t, std::string> number(std::string_view what) {
        if (done()) return fail(fmt::format("unexpected end of input while parsing {} version number", what));
        if (!is_digit(peek()))
            return fail(fmt::format("unexpected character {} while parsing {} version number", describe(peek()), what));
        const std::size_t start = pos_;
        std::uint64_t value = 0;
        while (!done() && is_digit(peek())) {
            const auto digit = std::uint64_t(peek() - '0');
            if (value > (UINT64_MAX - digit) / 10)
                return fail(fmt::format("value of {} version number exceeds {}", what, UINT64_MAX));
            value = value * 10 + digit;
            ++pos_;
        }
        if (pos_ - start > 1 && text_[start] == '0')
            return fail(fmt::format("invalid leading zero in {} version number", what));
        return value;
    }

    // Dot-separated identifiers of a pre-release (numeric ones without
    // leading zeros) or of build metadata.
    nkinstr::Result<std::vector<std::string>, std::string> identifiers(bool pre_release) {
        const char* what = pre_release ? "pre-release identifier" : "build metadata";
        std::vector<std::string> ids;
        for (;;) {
            const std::size_t start = pos_;
            while (!done() && is_ident_char(peek())) ++pos_;
            std::string_view id = text_.substr(start, pos_ - start);
            if (id.empty()) {
                if (done()) return fail(fmt::format("empty identifier segment in {}", what));
                return fail(fmt::format("unexpected character {} in {}", describe(peek()), what));
            }
            if (pre_release && id.size() > 1 && id[0] == '0' && all_digits(id))
                return fail(fmt::format("invalid leading zero in pre-release identifier {}", id));
            ids.emplace_back(id);
            if (!eat('.')) return ids;
        }
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Pre-release precedence; no identifiers ranks above any pre-release.
int compare_pre(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const bool an = all_digits(a[i]), bn = all_digits(b[i]);
        int c = 0;
        if (an && bn)
            c = a[i].size() != b[i].size() ? (a[i].size() < b[i].size() ? -1 : 1) : a[i].compare(b[i]);
        else if (an != bn)
            c = an ? -1 : 1;
        else
            c = a[i].compare(b[i]);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string join(const std::vector<std::string>& ids) {
    std::string out;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i) out.push_back('.');
        out += ids[i];
    }
    return out;
}

using Op = Comparator::Op;

bool matches_exact(const Comparator& c, const Version& v) {
    return v.major == c.major && (!c.minor || v.minor == *c.minor) && (!c.patch || v.patch == *c.patch) &&
           v.pre == c.pre;
}

bool matches_greater(const Comparator& c, const Version& v) {
    if (v.major != c.major) return v.major > c.major;
    if (!c.minor) return false;
    if (v.minor != *c.minor) return v.minor > *c.minor;
    if (!c.patch) return false;
    if (v.patch != *c.patch) return v.patch > *c.patch;
    return compare_pre(v.pre, c.pre) > 0;
}

bool matches_less(const Comparator& c, const Version& v) {
    if (v.major != c.major) return v.major < c.major;
    if (!c.minor) return false;
    if (v.minor != *c.minor) return v.minor < *c.minor;
    if (!c.patch) return false;
    if (v.patch != *c.patch) return v.patch < *c.patch;
    return compare_pre(v.pre, c.pre) < 0;
}

// ~1.2.3: >=1.2.3, <1.3.0; ~1.2: 1.2.*; ~1: 1.*.
bool matches_tilde(const Comparator& c, const Version& v) {
    if (v.major != c.major) return false;
    if (c.minor && v.minor != *c.minor) return false;
    if (c.patch && v.patch != *c.patch) return v.patch > *c.patch;
    return compare_pre(v.pre, c.pre) >= 0;
}

// ^1.2.3: >=1.2.3, <2.0.0; ^0.2.3: >=0.2.3, <0.3.0; ^0.0.3: =0.0.3; ^1.2: >=1.2.0, <2.0.0; ^0: 0.*.
bool matches_caret(const Comparator& c, const Version& v) {
    if (v.major != c.major) return false;
    if (!c.minor) return true;
    const std::uint64_t minor = *c.minor;
    if (!c.patch) return c.major > 0 ? v.minor >= minor : v.minor == minor;
    const std::uint64_t patch = *c.patch;
    if (c.major > 0) {
        if (v.minor != minor) return v.minor > minor;
        if (v.patch != patch) return v.patch > patch;
    } else if (minor > 0) {
        if (v.minor != minor) return false;
        if (v.patch != patch) return v.patch > patch;
    } else if (v.minor != minor || v.patch != patch) {
        return false;
    }
    return compare_pre(v.pre, c.pre) >= 0;
}

bool matches_comparator(const Comparator& c, const Version& v) {
    switch (c.op) {
        case Op::Exact:
        case Op::Wildcard: return matches_exact(c, v);
        case Op::Greater: return matches_greater(c, v);
        case Op::GreaterEq: return matches_exact(c, v) || matches_greater(c, v);
        case Op::Less: return matches_less(c, v);
        case Op::LessEq: return matches_exact(c, v) || matches_less(c, v);
        case Op::Tilde: return matches_tilde(c, v);
        case Op::Caret: return matches_caret(c, v);
    }
    return false;
}

std::string_view op_text(Op op) {
    switch (op) {
        case Op::Exact: return "=";
        case Op::Greater: return ">";
        case Op::GreaterEq: return ">=";
        case Op::Less: return "<";
        case Op::LessEq: return "<=";
        case Op::Tilde: return "~";
        case Op::Caret: return "^";
        case Op::Wildcard: return "";
    }
    return "";
}

std::optional<Op> read_op(Cursor& in) {
    if (in.eat('=')) return Op::Exact;
    if (in.eat('>')) return in.eat('=') ? Op::GreaterEq : Op::Greater;
    if (in.eat('<')) return in.eat('=') ? Op::LessEq : Op::Less;
    if (in.eat('~')) return Op::Tilde;
    if (in.eat('^')) return Op::Caret;
    return std::nullopt;
}

// One comparator; nullopt for a lone wildcard ("*", "=*", "*.*"), which
// matches every version without pre-release identifiers.
nkinstr::Result<std::optional<Comparator>, std::string> parse_comparator(std::string_view text) {
    Cursor in(text);
    const std::optional<Op> op = read_op(in);
    in.skip_spaces();

    if (is_wildcard(in.peek()) && !in.done()) {
        if (op && *op != Op::Exact)
            return fail(fmt::format("a wildcard major version cannot follow the operator {}", op_text(*op)));
        in.advance();
        while (in.eat('.')) {
            if (!is_wildcard(in.peek()) || in.done())
                return fail(std::string("unexpected character after wildcard in version requirement"));
            in.advance();
        }
        if (!in.done()) return fail(fmt::format("unexpected character {} after wildcard", describe(in.peek())));
        return std::optional<Comparator>{};
    }

    Comparator c;
    auto major = in.number("major");
    if (!major) return fail(std::move(major).error());
    c.major = *major;
    bool wildcard = false;
    if (in.eat('.')) {
        if (is_wildcard(in.peek()) && !in.done()) {
            in.advance();
            wildcard = true;
        } else {
            auto minor = in.number("minor");
            if (!minor) return fail(std::move(minor).error());
            c.minor = *minor;
        }
        if (in.eat('.')) {
            if (is_wildcard(in.peek()) && !in.done()) {
                in.advance();
                wildcard = true;
            } else if (wildcard) {
                return fail(std::string("unexpected character after wildcard in version requirement"));
            } else {
                auto patch = in.number("patch");
                if (!patch) return fail(std::move(patch).error());
                c.patch = *patch;
            }
        }
    }
    if (in.eat('-')) {
        if (!c.patch) return fail(std::string("pre-release identifiers need a full major.minor.patch version"));
        auto pre = in.identifiers(true);
        if (!pre) return fail(std::move(pre).error());
        c.pre = std::move(*pre);
    }
    if (in.eat('+')) {
        // Build metadata takes no part in matching.
        auto build = in.identifiers(false);
        if (!build) return fail(std::move(build).error());
    }
    if (!in.done()) return fail(fmt::format("unexpected character {} after version", describe(in.peek())));

    if (!op)
        c.op = wildcard ? Op::Wildcard : Op::Caret;
    else
        c.op = (*op == Op::Exact && wildcard) ? Op::Wildcard : *op;
    return std::optional<Comparator>{std::move(c)};
}

}  // namespace

std::string Version::to_string() const {
    std::string out = fmt::format("{}.{}.{}", major, minor, patch);
    if (!pre.empty()) out += "-" + join(pre);
    if (!build.empty()) out += "+" + join(build);
    return out;
}

nkinstr::Result<Version, std::string> Version::parse(std::string_view text) {
    if (trim(text).empty()) return fail(std::string("empty string, expected a semantic version"));
    Cursor in(text);
    Version v;
    auto major = in.number("major");
    if (!major) return fail(std::move(major).error());
    if (!in.eat('.')) return fail(std::string("expected '.' after the major version number"));
    auto minor = in.number("minor");
    if (!minor) return fail(std::move(minor).error());
    if (!in.eat('.')) return fail(std::string("expected '.' after the minor version number"));
    auto patch = in.number("patch");
    if (!patch) return fail(std::move(patch).error());
    v.major = *major;
    v.minor = *minor;
    v.patch = *patch;
    if (in.eat('-')) {
        auto pre = in.identifiers(true);
        if (!pre) return fail(std::move(pre).error());
        v.pre = std::move(*pre);
    }
    if (in.eat('+')) {
        auto build = in.identifiers(false);
        if (!build) return fail(std::move(build).error());
        v.build = std::move(*build);
    }
    if (!in.done()) return fail(fmt::format("unexpected character {} after version", describe(in.peek())));
    return v;
}

nkinstr::Result<VersionReq, std::string> VersionReq::parse(std::string_view text) {
    if (trim(text).empty()) return fail(std::string("empty string, expected a version requirement"));
    VersionReq req;
    std::size_t pieces = 0;
    bool lone_wildcard = false;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view piece = trim(text.substr(0, comma));
        if (piece.empty()) return fail(std::string("empty comparator in version requirement"));
        auto parsed = parse_comparator(piece);
        if (!parsed) return fail(std::move(parsed).error());
        ++pieces;
        if (*parsed)
            req.comparators.push_back(std::move(**parsed));
        else
            lone_wildcard = true;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (lone_wildcard && pieces > 1)
        return fail(std::string("a wildcard requirement must be the only comparator"));
    return req;
}

bool VersionReq::matches(const Version& v) const {
    for (const auto& c : comparators)
        if (!matches_comparator(c, v)) return false;
    if (v.pre.empty()) return true;
    // A pre-release is only taken when the requirement names a pre-release
    // of the same major.minor.patch.
    for (const auto& c : comparators)
        if (c.major == v.major && c.minor == v.minor && c.patch == v.patch && !c.pre.empty()) return true;
    return false;
}

std::string VersionReq::to_string() const {
    if (comparators.empty()) return "*";
    std::string out;
    for (std::size_t i = 0; i < comparators.size(); ++i) {
        const Comparator& c = comparators[i];
        if (i) out += ", ";
        out += op_text(c.op);
        out += std::to_string(c.major);
        if (c.minor) {
            out += "." + std::to_string(*c.minor);
            if (c.patch) {
                out += "." + std::to_string(*c.patch);
                if (!c.pre.empty()) out += "-" + join(c.pre);
            } else if (c.op == Op::Wildcard) {
                out += ".*";
            }
        } else if (c.op == Op::Wildcard) {
            out += ".*";
        }
    }
    return out;
}

std::string VersionReq::exact_text(const Version& v) {
    std::string out = fmt::format("={}.{}.{}", v.major, v.minor, v.patch);
    if (!v.pre.empty()) out += "-" + join(v.pre);
    return out;
}

}  // namespace nkcore::semver
