#include "nkinstr/modules/parser/keywords.hpp"

#include <array>
#include <cstring>

#include "nkinstr/modules/instructions/variants.hpp"

namespace nkinstr::parser {

namespace {

// A small open-addressing table: every word is hashed once per lookup and
// compared once, which keeps classification off the lexer's profile.
constexpr std::size_t kSlots = 512;

struct Slot {
    std::string_view word;
    Keyword keyword{};
};

std::size_t word_hash(std::string_view w) {
    std::uint32_t h = 2166136261u;
    for (char c : w) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h & (kSlots - 1);
}

struct Table {
    std::array<Slot, kSlots> slots{};

    void add(std::string_view word, TokenKind kind, int code) {
        std::size_t i = word_hash(word);
        while (!slots[i].word.empty()) i = (i + 1) & (kSlots - 1);
        slots[i] = Slot{word, Keyword{kind, static_cast<std::uint8_t>(code)}};
    }

    Table() {
        add("import", TokenKind::Import, 0);
        add("void", TokenKind::Void, 0);
        for (int v = 0; v < kVisibilityCount; ++v)
            add(visibility_text(static_cast<Visibility>(v)), TokenKind::Visibility, v);
        static constexpr std::string_view kCconv[] = {
            "cc",      "fastcc",        "coldcc",         "ghccc",          "hipecc",
            "anyregcc", "preservemostcc", "preserveallcc", "preservenonecc", "cxx_fast_tlscc",
            "tailcc",  "swiftcc",       "swifttailcc",    "cfguard_checkcc"};
        for (int v = 0; v < 14; ++v) add(kCconv[v], TokenKind::CallingConvention, v);
        for (int v = 0; v < kInstrOpCount; ++v) add(opname(static_cast<NkInstrOp>(v)), TokenKind::InstrOp, v);
        for (int v = 0; v < 4; ++v)
            add(terminator_text(static_cast<NkTerminatorOp>(v)), TokenKind::TerminatorOp, v);
        for (int v = 0; v < kFTypeCount; ++v) add(ftype_text(static_cast<FType>(v)), TokenKind::FType, v);
        for (std::size_t v = 0; v < enum_count<MemoryOrdering>(); ++v)
            add(EnumTexts<MemoryOrdering>::texts[v], TokenKind::Ordering, static_cast<int>(v));
    }
};

const Table& table() {
    static const Table t;
    return t;
}

}  // namespace

const Keyword* find_keyword(std::string_view word) {
    if (word.size() > 16) return nullptr;  // no keyword is longer
    const Table& t = table();
    for (std::size_t i = word_hash(word);; i = (i + 1) & (kSlots - 1)) {
        const Slot& s = t.slots[i];
        if (s.word.empty()) return nullptr;
        if (s.word == word) return &s.keyword;
    }
}

}  // namespace nkinstr::parser
