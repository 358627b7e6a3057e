#include "nkinstr/modules/parser/lexer.hpp"

#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include "nkinstr/modules/parser/keywords.hpp"
#include "nkinstr/modules/parser/syntax_error.hpp"

namespace nkinstr::parser {

// ---- character classes ----

bool is_spacing_char(char32_t c) {
    switch (c) {
        case 0x09: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0: case 0x1680:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

// Identifier-continue characters. Exact XID_Continue needs the Unicode tables;
// we approximate it as: ASCII letters, digits and '_'; the Latin-1 letters and
// the middle dot; and every code point from U+0100 on except white space and
// the blocks that hold only punctuation and symbols (general punctuation,
// arrows to miscellaneous symbols, CJK punctuation, specials, the BOM).
// Letters, marks and digits of every script are therefore accepted; a few
// symbols outside those blocks are accepted too, which is harmless since no
// token starts with them.
bool is_ident_continue(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }
    if (c < 0x100) return c == 0xAA || c == 0xB5 || c == 0xB7 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
    if (is_spacing_char(c)) return false;
    if (c >= 0x2010 && c <= 0x205E) return false;  // general punctuation
    if (c >= 0x2190 && c <= 0x2BFF) return false;  // arrows, math operators, technical, box drawing, symbols
    if (c >= 0x3001 && c <= 0x3003) return false;  // CJK punctuation
    if (c == 0xFEFF || (c >= 0xFFF0 && c <= 0xFFFF)) return false;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return c <= 0x10FFFF;
}

namespace {

// Decodes one UTF-8 character at `p`; returns its length (0 for an invalid sequence).
std::size_t decode_utf8(std::string_view s, std::size_t p, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[p]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t c;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        c = b0 & 0x07;
    } else {
        return 0;
    }
    if (p + len > s.size()) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[p + i]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms and out-of-range values are invalid.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    out = c;
    return len;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// ASCII identifier characters as a table: words are most of the bytes lexed.
constexpr auto kAsciiIdent = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 128; ++c)
        t[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    return t;
}();
bool is_ascii_ident(char c) { return kAsciiIdent[static_cast<unsigned char>(c)]; }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads valid digits of `base` into a big integer, a machine word at a time.
BigInt read_big_unsigned(std::string_view digits, unsigned base) {
    BigInt::Wide value = 0;
    std::size_t i = 0;
    while (i < digits.size()) {
        std::uint64_t chunk = 0, scale = 1;
        // base^chunk_len must stay below 2^64: 15 digits of base 16 is 2^60.
        for (int k = 0; k < 15 && i < digits.size(); ++k, ++i) {
            chunk = chunk * base + static_cast<std::uint64_t>(digit_value(digits[i]));
            scale *= base;
        }
        value = value * scale + chunk;
    }
    return BigInt(value);
}

// The expected items of a position where no token starts, in the order the
// lexer tries them.
const std::vector<Expected>& token_start_items() {
    static const std::vector<Expected> items = {
        Expected::label("whitespace or comment"),
        Expected::label("numeral"),
        Expected::label("string literal"),
        Expected::token("("), Expected::token(")"), Expected::token("{"), Expected::token("}"),
        Expected::token("["), Expected::token("]"), Expected::token("<"), Expected::token(">"),
        Expected::token(","), Expected::token(":"), Expected::token("="),
        Expected::token("\\n"),
        Expected::label("register"),
        Expected::label("identifier or keyword or itype"),
        Expected::label(kEndOfInput),
    };
    return items;
}

class Lexer {
public:
    explicit Lexer(std::string_view src) : src_(src) {
        // Assembly has a token every three to five bytes; the reservation is
        // generous because only the pages actually written cost anything,
        // while growing a vector of millions of tokens copies them all.
        out_.tokens.tokens.reserve(src.size() / 2 + 16);
        out_.tokens.starts.reserve(src.size() / 2 + 16);
    }

    LexResult run() {
        while (true) {
            const std::size_t start = pos_;
            skip_spacing();
            if (pos_ == src_.size()) break;
            Token t;
            if (!read_token(t)) break;
            skip_spacing();
            out_.tokens.tokens.push_back(t);
            out_.tokens.starts.push_back(start);
            out_.tokens.end = pos_;
        }
        return std::move(out_);
    }

private:
    // ---- spacing ----

    void skip_spacing() {
        while (pos_ < src_.size()) {
            const char c = src_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
                ++pos_;
            } else if (c == ';') {
                const void* nl = std::memchr(src_.data() + pos_, '\n', src_.size() - pos_);
                pos_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - src_.data()) : src_.size();
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                char32_t cp;
                const std::size_t len = decode_utf8(src_, pos_, cp);
                if (len == 0 || !is_spacing_char(cp)) return;
                pos_ += len;
            } else {
                return;
            }
        }
    }

    // ---- tokens ----

    bool read_token(Token& t) {
        const char c = src_[pos_];
        if (is_digit(c) || ((c == '+' || c == '-') && pos_ + 1 < src_.size() && is_digit(src_[pos_ + 1])))
            return read_numeral(t);
        switch (c) {
            case '"': return read_string(t);
            case '(': return punct(t, TokenKind::LParen);
            case ')': return punct(t, TokenKind::RParen);
            case '{': return punct(t, TokenKind::LBrace);
            case '}': return punct(t, TokenKind::RBrace);
            case '[': return punct(t, TokenKind::LBracket);
            case ']': return punct(t, TokenKind::RBracket);
            case '<': return punct(t, TokenKind::LAngle);
            case '>': return punct(t, TokenKind::RAngle);
            case ',': return punct(t, TokenKind::Comma);
            case ':': return punct(t, TokenKind::Colon);
            case '=': return punct(t, TokenKind::Equals);
            case '\n': return read_newlines(t);
            case '%': return read_register(t);
            default: break;
        }
        if (c == '!' ? ident_char_len(pos_ + 1) > 0 : ident_char_len(pos_) > 0) return read_word(t);
        no_token_here();
        return false;
    }

    bool punct(Token& t, TokenKind k) {
        t.kind = k;
        ++pos_;
        return true;
    }

    bool read_newlines(Token& t) {
        t.kind = TokenKind::Newline;
        while (pos_ < src_.size() && src_[pos_] == '\n') {
            ++pos_;
            skip_spacing();
        }
        return true;
    }

    // Length of the identifier-continue character at p, or 0.
    std::size_t ident_char_len(std::size_t p) const {
        if (p >= src_.size()) return 0;
        const char c = src_[p];
        if (static_cast<unsigned char>(c) < 0x80) return is_ascii_ident(c) ? 1 : 0;
        char32_t cp;
        const std::size_t len = decode_utf8(src_, p, cp);
        return len && is_ident_continue(cp) ? len : 0;
    }

    std::size_t skip_ident_chars(std::size_t p) const {
        while (true) {
            while (p < src_.size() && is_ascii_ident(src_[p])) ++p;
            if (p >= src_.size() || static_cast<unsigned char>(src_[p]) < 0x80) return p;
            const std::size_t len = ident_char_len(p);
            if (len == 0) return p;
            p += len;
        }
    }

    bool read_register(Token& t) {
        std::size_t p = skip_ident_chars(pos_ + 1);
        while (p < src_.size() && src_[p] == '.') p = skip_ident_chars(p + 1);
        t.kind = TokenKind::Register;
        t.text = src_.substr(pos_ + 1, p - pos_ - 1);
        pos_ = p;
        return true;
    }

    // ---- words ----

    bool read_word(Token& t) {
        const std::size_t start = pos_;
        const std::size_t head_end = skip_ident_chars(src_[pos_] == '!' ? pos_ + 1 : pos_);
        std::size_t p = head_end;
        while (p < src_.size() && src_[p] == '.') p = skip_ident_chars(p + 1);
        pos_ = p;
        classify_word(t, src_.substr(start, head_end - start), src_.substr(head_end, p - head_end),
                      Span{start, p});
        return true;
    }

    static void make_identifier(Token& t, std::string_view head, std::string_view segments) {
        t.kind = TokenKind::Identifier;
        t.text = head;
        t.aux = static_cast<std::uint32_t>(segments.size());
    }

    void classify_word(Token& t, std::string_view head, std::string_view segments, Span span) {
        if (head[0] == '!') {
            const Keyword* k = find_keyword(head);
            if (k && k->kind == TokenKind::InstrOp) {
                set_keyword(t, *k, head, segments);
            } else {
                make_identifier(t, head.substr(1), segments);
                t.kind = TokenKind::MetaIdentifier;
            }
            return;
        }
        const Keyword* k = find_keyword(head);
        std::optional<CallingConvention> numbered;
        if (!k && head.size() > 2 && head[0] == 'c' && head[1] == 'c') numbered = CallingConvention::parse(head);

        if (!segments.empty()) {
            if (k && k->kind == TokenKind::Visibility) {
                record(span, fmt::format("visibility '{}' does not take any variants, but variants were provided", head));
                set_keyword(t, *k, head, {});
            } else if ((k && k->kind == TokenKind::CallingConvention) || numbered) {
                record(span, fmt::format(
                                 "calling convention '{}' does not take any variants, but variants were provided", head));
                if (k) set_keyword(t, *k, head, {});
                else set_numbered_cc(t, *numbered);
            } else if (k && k->kind == TokenKind::InstrOp) {
                set_keyword(t, *k, head, segments);
            } else if (k && k->kind == TokenKind::TerminatorOp) {
                record(span, fmt::format(
                                 "terminator operation '{}' does not take any variants, but variants were provided", head));
                set_keyword(t, *k, head, {});
            } else {
                make_identifier(t, head, segments);
            }
            return;
        }
        if (k) {
            set_keyword(t, *k, head, {});
        } else if (numbered) {
            set_numbered_cc(t, *numbered);
        } else if (head[0] == 'i' && head.find_first_not_of("0123456789", 1) == std::string_view::npos) {
            classify_itype(t, head, span);
        } else {
            make_identifier(t, head, {});
        }
    }

    static void set_keyword(Token& t, const Keyword& k, std::string_view head, std::string_view segments) {
        t.kind = k.kind;
        t.code = k.code;
        t.text = head;
        t.aux = static_cast<std::uint32_t>(segments.size());
    }

    static void set_numbered_cc(Token& t, CallingConvention cc) {
        t.kind = TokenKind::CallingConvention;
        t.code = static_cast<std::uint8_t>(cc.kind);
        t.aux = cc.number;
    }

    void classify_itype(Token& t, std::string_view head, Span span) {
        const std::string_view digits = head.substr(1);
        std::uint64_t width = 0;
        const char* reason = nullptr;
        if (digits.empty()) {
            reason = "cannot parse integer from empty string";
        } else {
            for (char c : digits) {
                width = width * 10 + static_cast<std::uint64_t>(c - '0');
                if (width > std::numeric_limits<std::uint32_t>::max()) {
                    reason = "number too large to fit in target type";
                    break;
                }
            }
        }
        if (reason) {
            record(span, fmt::format("invalid integer type width '{}': {}", digits, reason));
            make_identifier(t, head, {});
            return;
        }
        auto itype = IType::create(static_cast<std::uint32_t>(width));
        if (!itype.ok()) {
            record(span, itype.error());
            make_identifier(t, head, {});
            return;
        }
        t.kind = TokenKind::IType;
        t.aux = itype->num_bits;
        t.text = head;
    }

    // ---- numerals ----

    std::size_t skip_digits(std::size_t p) const {
        while (p < src_.size() && is_digit(src_[p])) ++p;
        return p;
    }

    // End of a complete exponent (e, optional sign, digits) at p, or p when there is none.
    std::size_t exponent_end(std::size_t p) const {
        if (p >= src_.size() || (src_[p] != 'e' && src_[p] != 'E')) return p;
        std::size_t q = p + 1;
        if (q < src_.size() && (src_[q] == '+' || src_[q] == '-')) ++q;
        const std::size_t end = skip_digits(q);
        return end > q ? end : p;
    }

    bool read_numeral(Token& t) {
        const std::size_t start = pos_;
        const bool negative = src_[pos_] == '-';
        const std::size_t digits_start = (src_[pos_] == '+' || src_[pos_] == '-') ? pos_ + 1 : pos_;
        const std::size_t int_end = skip_digits(digits_start);

        // Decimal with a fraction, then decimal with an exponent only.
        if (int_end + 1 < src_.size() && src_[int_end] == '.' && is_digit(src_[int_end + 1])) {
            const std::size_t frac_end = skip_digits(int_end + 1);
            const std::size_t end = exponent_end(frac_end);
            return finish_decimal(t, start, digits_start, int_end, int_end + 1, frac_end, end);
        }
        if (const std::size_t end = exponent_end(int_end); end != int_end)
            return finish_decimal(t, start, digits_start, int_end, int_end, int_end, end);

        // Prefixed integers.
        if (src_[digits_start] == '0' && digits_start + 1 < src_.size()) {
            const char prefix = src_[digits_start + 1];
            unsigned base = 0;
            if (prefix == 'x' || prefix == 'X') base = 16;
            else if (prefix == 'o' || prefix == 'O') base = 8;
            else if (prefix == 'b' || prefix == 'B') base = 2;
            if (base) {
                std::size_t p = digits_start + 2;
                while (p < src_.size() && digit_value(src_[p]) < static_cast<int>(base)) ++p;
                if (p > digits_start + 2) {
                    set_number(t, src_.substr(digits_start + 2, p - digits_start - 2), base, negative);
                    pos_ = p;
                    return true;
                }
            }
        }
        set_number(t, src_.substr(digits_start, int_end - digits_start), 10, negative);
        pos_ = int_end;
        return true;
    }

    void set_number(Token& t, std::string_view digits, unsigned base, bool negative) {
        t.kind = TokenKind::Number;
        std::uint64_t magnitude = 0;
        bool fits = true;
        for (char c : digits) {
            const auto d = static_cast<std::uint64_t>(digit_value(c));
            if (magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / base) {
                fits = false;
                break;
            }
            magnitude = magnitude * base + d;
        }
        constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        if (fits && (magnitude <= kMaxPositive || (negative && magnitude == kMaxPositive + 1))) {
            t.value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
            return;
        }
        BigInt value = read_big_unsigned(digits, base);
        if (negative) value = -value;
        t.in_side_table = true;
        t.value = static_cast<std::int64_t>(out_.tokens.big_numbers.size());
        out_.tokens.big_numbers.push_back(std::move(value));
    }

    // [start, end) is the literal; the integer digits are [int_begin, int_end),
    // the fraction digits [frac_begin, frac_end), then an optional exponent.
    bool finish_decimal(Token& t, std::size_t start, std::size_t int_begin, std::size_t int_end,
                        std::size_t frac_begin, std::size_t frac_end, std::size_t end) {
        pos_ = end;
        t.kind = TokenKind::Decimal;
        const std::string_view literal = src_.substr(start, end - start);
        const bool negative = src_[start] == '-';

        // Exponent, read as a signed 128-bit number.
        __int128 exponent = 0;
        if (frac_end < end) {
            std::size_t p = frac_end + 1;
            const bool exp_negative = src_[p] == '-';
            if (src_[p] == '+' || src_[p] == '-') ++p;
            constexpr __int128 kMax = static_cast<__int128>(~static_cast<unsigned __int128>(0) >> 1);
            for (; p < end; ++p) {
                const int d = src_[p] - '0';
                // Accumulate negatively so that the 128-bit minimum is reachable.
                if (exponent < (-kMax - 1 + d) / 10) {
                    record(Span{start, end},
                           fmt::format("invalid decimal literal '{}': {}", literal,
                                       exp_negative ? "number too small to fit in target type"
                                                    : "number too large to fit in target type"));
                    return true;
                }
                exponent = exponent * 10 - d;
            }
            if (!exp_negative) {
                if (exponent == -kMax - 1) {
                    record(Span{start, end}, fmt::format("invalid decimal literal '{}': {}", literal,
                                                         "number too large to fit in target type"));
                    return true;
                }
                exponent = -exponent;
            }
        }
        const __int128 scale = static_cast<__int128>(frac_end - frac_begin) - exponent;
        if (scale > std::numeric_limits<std::int64_t>::max() || scale < std::numeric_limits<std::int64_t>::min()) {
            record(Span{start, end}, fmt::format("invalid decimal literal '{}': Exponent overflow when parsing '{}'",
                                                 literal, literal));
            return true;
        }
        // Unscaled value: the integer digits followed by the fraction digits.
        std::uint64_t magnitude = 0;
        bool fits = true;
        auto accumulate = [&](std::size_t b, std::size_t e) {
            for (std::size_t p = b; p < e && fits; ++p) {
                const auto d = static_cast<std::uint64_t>(src_[p] - '0');
                if (magnitude > (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - d) / 10)
                    fits = false;
                else
                    magnitude = magnitude * 10 + d;
            }
        };
        accumulate(int_begin, int_end);
        accumulate(frac_begin, frac_end);
        if (fits && scale >= std::numeric_limits<std::int32_t>::min() && scale <= std::numeric_limits<std::int32_t>::max()) {
            t.value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
            t.aux = static_cast<std::uint32_t>(static_cast<std::int32_t>(scale));
            return true;
        }
        std::string digits(src_.substr(int_begin, int_end - int_begin));
        digits += src_.substr(frac_begin, frac_end - frac_begin);
        BigInt unscaled = read_big_unsigned(digits, 10);
        if (negative) unscaled = -unscaled;
        t.in_side_table = true;
        t.value = static_cast<std::int64_t>(out_.tokens.big_decimals.size());
        out_.tokens.big_decimals.push_back(nkinstr::Decimal{std::move(unscaled), static_cast<std::int64_t>(scale)});
        return true;
    }

    // ---- strings ----

    bool read_string(Token& t) {
        const std::size_t content = pos_ + 1;
        std::size_t p = content;
        while (p < src_.size() && src_[p] != '"' && src_[p] != '\\') ++p;
        if (p < src_.size() && src_[p] == '"') {
            t.kind = TokenKind::StringLiteral;
            t.text = src_.substr(content, p - content);
            pos_ = p + 1;
            return true;
        }
        // Escapes (or no closing quote): decode into owned storage.
        std::string decoded(src_.substr(content, p - content));
        while (p < src_.size() && src_[p] != '"') {
            if (src_[p] == '\\') {
                if (p + 1 >= src_.size()) {
                    fail_at_end({Expected::label("any")});
                    return false;
                }
                const char e = src_[p + 1];
                decoded.push_back(e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e);
                p += 2;
            } else {
                decoded.push_back(src_[p++]);
            }
        }
        if (p >= src_.size()) {
            fail_at_end({Expected::token("\\\\"), Expected::token("\"")});
            return false;
        }
        t.kind = TokenKind::StringLiteral;
        t.text = src_.substr(content, p - content);
        t.in_side_table = true;
        t.value = static_cast<std::int64_t>(out_.tokens.strings.size());
        out_.tokens.strings.push_back(std::move(decoded));
        pos_ = p + 1;
        return true;
    }

    // ---- errors ----

    void record(Span span, std::string message) { out_.errors.push_back(LexError{span, std::move(message)}); }

    void fail_at_end(const std::vector<Expected>& expected) {
        record(Span{src_.size(), src_.size()}, found_expected_message(std::nullopt, expected));
    }

    void no_token_here() {
        char32_t cp;
        std::size_t len = decode_utf8(src_, pos_, cp);
        std::string found;
        if (len == 0) {
            len = 1;
            found = fmt::format("\\x{:02x}", static_cast<unsigned char>(src_[pos_]));
        } else if (cp < 0x20 || cp == 0x7F) {
            found = fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
        } else {
            found = std::string(src_.substr(pos_, len));
        }
        record(Span{pos_, pos_ + len}, found_expected_message(found, token_start_items()));
    }

    std::string_view src_;
    std::size_t pos_ = 0;
    LexResult out_;
};

}  // namespace

LexResult lex(std::string_view source) { return Lexer(source).run(); }

}  // namespace nkinstr::parser
