// Types and constants.
//
//   type    := primary | array | struct
//   primary := scalar | '<' ['vscale'] Number 'x' scalar '>'
//   scalar  := IType | FType | 'ptr'
//   array   := '[' Number 'x' type ']'
//   struct  := ['packed'] '{' [type (',' type)*] '}'
//   constant := IType Number | FType Decimal | 'ptr' ['external'] Identifier
//
// Arrays and structs nest to any depth, so `parse_type` keeps the open
// aggregates on an explicit stack instead of recursing.

#include <fmt/format.h>

#include "nkinstr/modules/parser/parser_impl.hpp"

namespace nkinstr::parser {

namespace {
constexpr std::int64_t kMaxAggregateSize = 65535;

struct OpenAggregate {
    bool is_struct = false;
    bool packed = false;
    std::uint16_t count = 0;       // arrays
    std::vector<Typeref> fields;   // structs
};
}  // namespace

Typeref Parser::intern_primary(const PrimaryType& t) {
    return state_.registry().search_or_insert(AnyType{t});
}

Typeref Parser::intern_array(Typeref element, std::uint16_t count) {
    const ArrayKey key{element, count};
    if (auto it = array_cache_.find(key); it != array_cache_.end()) return it->second;
    const Typeref r = state_.registry().search_or_insert(AnyType{ArrayType{element, count}});
    array_cache_.emplace(key, r);
    return r;
}

Typeref Parser::intern_struct(std::vector<Typeref> fields, bool packed) {
    return state_.registry().search_or_insert(AnyType{StructType{std::move(fields), packed}});
}

std::optional<PrimaryBasicType> Parser::parse_basic_type() {
    if (const Token* t = peek()) {
        if (t->kind == TokenKind::IType) {
            ++pos_;
            return PrimaryBasicType{IType{t->width}};
        }
        if (t->kind == TokenKind::FType) {
            ++pos_;
            return PrimaryBasicType{t->ftype()};
        }
        if (t->is_word("ptr")) {
            ++pos_;
            return PrimaryBasicType{PtrType{}};
        }
    }
    eat_class(TokenKind::IType);
    eat_class(TokenKind::FType);
    note(Expected::token("ptr"));
    return std::nullopt;
}

// A vector lane count or an array element count: a Number from 1 to 65535.
// Out-of-range counts are recorded and read as the nearest valid count so
// that parsing goes on.
std::optional<std::uint16_t> Parser::parse_size(std::string_view what) {
    const Token* t = eat_class(TokenKind::Number);
    if (!t) return std::nullopt;
    const std::size_t index = pos_ - 1;
    std::int64_t v = 0;
    const bool small = list_.small_number(*t, v);
    const bool positive = small ? v > 0 : list_.number(*t) > 0;
    if (!positive) {
        record(index, index + 1, fmt::format("{} size must be a positive non-zero integer", what));
        return std::uint16_t{1};
    }
    if (!small || v > kMaxAggregateSize) {
        record(index, index + 1,
               fmt::format("{} size too large: maximum allowed is {}, got {}", what, kMaxAggregateSize,
                           list_.number(*t).str()));
        return static_cast<std::uint16_t>(kMaxAggregateSize);
    }
    return static_cast<std::uint16_t>(v);
}

std::optional<Typeref> Parser::parse_scalar_or_vector() {
    const Token* t = peek();
    if (t && t->kind == TokenKind::IType) {
        ++pos_;
        auto [it, inserted] = itype_cache_.try_emplace(t->width);
        if (inserted) it->second = intern_primary(IType{t->width});
        return it->second;
    }
    if (t && t->kind == TokenKind::FType) {
        ++pos_;
        auto& slot = ftype_cache_[static_cast<int>(t->ftype())];
        if (!slot) slot = intern_primary(t->ftype());
        return *slot;
    }
    if (t && t->is_word("ptr")) {
        ++pos_;
        if (!ptr_cache_) ptr_cache_ = intern_primary(PtrType{});
        return *ptr_cache_;
    }
    if (!eat(TokenKind::LAngle, "<")) {
        eat_class(TokenKind::IType);
        eat_class(TokenKind::FType);
        note(Expected::token("ptr"));
        return std::nullopt;
    }
    const bool scalable = at_word("vscale");
    if (scalable) ++pos_;
    else note(Expected::token("vscale"));
    const auto lanes = parse_size("vector");
    if (!lanes || !eat_word("x")) return std::nullopt;
    const auto element = parse_basic_type();
    if (!element || !eat(TokenKind::RAngle, ">")) return std::nullopt;

    // Cache key: element kind and payload, lanes, scalability.
    std::uint64_t payload = 0;
    if (auto* i = std::get_if<IType>(&*element)) payload = i->num_bits;
    else if (auto* f = std::get_if<FType>(&*element)) payload = static_cast<std::uint64_t>(*f);
    const std::uint64_t key = (payload << 24) | (std::uint64_t(element->index()) << 18) |
                              (std::uint64_t(scalable) << 17) | *lanes;
    if (auto it = vector_cache_.find(key); it != vector_cache_.end()) return it->second;
    const VcSize size{scalable ? VcSize::Kind::Scalable : VcSize::Kind::Fixed, *lanes};
    const Typeref r = intern_primary(VectorType{*element, size});
    vector_cache_.emplace(key, r);
    return r;
}

std::optional<Typeref> Parser::parse_type() {
    std::vector<OpenAggregate> open;
    const std::string_view saved_label = label_;
    const std::size_t saved_label_pos = label_pos_;
    auto restore_label = [&] {
        label_ = saved_label;
        label_pos_ = saved_label_pos;
    };
    // A failed type consumes nothing, so callers can try something else here.
    const Checkpoint start = mark();
    auto fail = [&]() -> std::optional<Typeref> {
        restore_label();
        rewind(start);
        return std::nullopt;
    };

    while (true) {
        // Start of a type: everything that fails right here reads as "type".
        if (label_pos_ != pos_) {
            label_ = "type";
            label_pos_ = pos_;
        }
        const std::size_t type_start = pos_;
        Typeref done;
        if (at(TokenKind::LBracket)) {
            ++pos_;
            const auto count = parse_size("array");
            if (!count || !eat_word("x")) {
                return fail();
            }
            open.push_back(OpenAggregate{false, false, *count, {}});
            continue;
        }
        const bool packed = at_word("packed");
        if (packed || at(TokenKind::LBrace)) {
            if (packed) ++pos_;
            if (!eat(TokenKind::LBrace, "{")) {
                return fail();
            }
            if (at(TokenKind::RBrace)) {
                ++pos_;
                done = intern_struct({}, packed);
            } else {
                note(Expected::token("}"));  // after "type", as the element list is tried first
                open.push_back(OpenAggregate{true, packed, 0, {}});
                continue;
            }
        } else {
            note(Expected::token("packed"));
            const auto primary = parse_scalar_or_vector();
            if (!primary) {
                note_at(type_start, Expected::token("["));
                note_at(type_start, Expected::token("{"));
                return fail();
            }
            done = *primary;
        }

        // Close every aggregate the finished type completes.
        while (!open.empty()) {
            OpenAggregate& top = open.back();
            if (!top.is_struct) {
                if (!eat(TokenKind::RBracket, "]")) {
                    return fail();
                }
                done = intern_array(done, top.count);
                open.pop_back();
                continue;
            }
            top.fields.push_back(done);
            if (at(TokenKind::Comma)) {
                ++pos_;
                break;  // read the next field
            }
            note(Expected::token(","));
            if (!eat(TokenKind::RBrace, "}")) {
                return fail();
            }
            done = intern_struct(std::move(top.fields), top.packed);
            open.pop_back();
        }
        if (open.empty()) {
            restore_label();
            return done;
        }
    }
}

std::optional<AnyConst> Parser::parse_constant() {
    const Token* t = peek();
    if (t && t->kind == TokenKind::IType) {
        const Checkpoint cp = mark();
        ++pos_;
        if (const Token* number = eat_class(TokenKind::Number)) {
            std::int64_t v = 0;
            if (list_.small_number(*number, v)) return AnyConst{IConst{IType{t->width}, BigInt(v)}};
            return AnyConst{IConst{IType{t->width}, list_.number(*number)}};
        }
        rewind(cp);
        return std::nullopt;  // no other constant starts with an integer type
    }
    eat_class(TokenKind::IType);
    if (t && t->kind == TokenKind::FType) {
        const Checkpoint cp = mark();
        ++pos_;
        if (const Token* d = eat_class(TokenKind::Decimal)) return AnyConst{FConst{t->ftype(), list_.decimal(*d)}};
        rewind(cp);
        return std::nullopt;
    }
    eat_class(TokenKind::FType);
    const std::size_t start = pos_;
    if (!eat_word("ptr")) return std::nullopt;
    const bool external = at_word("external");
    if (external) ++pos_;
    else note(Expected::token("external"));
    const Token* name_token = eat_class(TokenKind::Identifier);
    if (!name_token) {
        pos_ = start;
        return std::nullopt;
    }
    const std::string_view name = dotted_name(*name_token);
    const auto kind = external ? FunctionPointer::Kind::External : FunctionPointer::Kind::Internal;
    if (auto uuid = state_.resolve_function(name, external)) return AnyConst{FunctionPointer{kind, *uuid}};
    record(start, pos_, fmt::format("{}function pointer '{}' not found", external ? "external " : "", name));
    return AnyConst{FunctionPointer{kind, Uuid{}}};
}

}  // namespace nkinstr::parser
