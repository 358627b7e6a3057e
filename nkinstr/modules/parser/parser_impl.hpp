#pragma once
// The recursive-descent parser shared by the grammar files (internal).
//
// Error model. Every failed attempt to match a token notes what would have
// been accepted at that position. Only the furthest position matters: noting
// at a later position forgets the items noted before, noting at the same
// position adds to them (each item once, in the order noted, which is the
// order the grammar tries its alternatives). When the parse stops, the syntax
// error is "found X expected ..." at that furthest position.
//
// A labelled rule replaces the items noted at its own start position by its
// label (so a failing operand reads "register, undef operand, or immediate
// operand", not the dozen tokens those rules try); when nested rules start at
// the same position, the outermost label wins.
//
// Errors recorded by validating actions are kept with their token range;
// backtracking over a rule also drops the errors it recorded, so re-reading
// the same tokens by another alternative does not report them twice.
//
// No rule recurses on input-controlled depth: types, the only nesting
// construct, are read with an explicit stack.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "nkinstr/modules/parser/grammar.hpp"
#include "nkinstr/modules/parser/syntax_error.hpp"

namespace nkinstr::parser {

class Parser {
public:
    Parser(const TokenList& tokens, State& state);

    ParseOutcome run();

private:
    // ---- cursor and diagnostics (parser_impl.cpp) ----
    struct Checkpoint {
        std::size_t pos;
        std::size_t errors;
    };
    Checkpoint mark() const { return {pos_, errors_.size()}; }
    void rewind(Checkpoint cp) {
        pos_ = cp.pos;
        errors_.resize(cp.errors);
    }

    const Token* peek() const { return pos_ < n_ ? &toks_[pos_] : nullptr; }
    bool at(TokenKind k) const { return pos_ < n_ && toks_[pos_].kind == k; }
    bool at_word(std::string_view w) const { return pos_ < n_ && toks_[pos_].is_word(w); }

    void note(Expected e) { note_at(pos_, e); }
    void note_at(std::size_t p, Expected e);

    // Consumes a fixed token, or notes it (shown quoted) and fails.
    bool eat(TokenKind k, std::string_view display);
    // Consumes a token of class k, or notes "token K" and fails.
    const Token* eat_class(TokenKind k);
    // Consumes the identifier `word`, or notes it and fails.
    bool eat_word(std::string_view word);
    void skip_newline() {
        if (!eat(TokenKind::Newline, "\\n")) return;
    }

    class LabelScope {
    public:
        LabelScope(Parser& p, std::string_view label) : p_(p), saved_label_(p.label_), saved_pos_(p.label_pos_) {
            if (p.label_pos_ != p.pos_) {
                p.label_ = label;
                p.label_pos_ = p.pos_;
            }
        }
        ~LabelScope() {
            p_.label_ = saved_label_;
            p_.label_pos_ = saved_pos_;
        }
        LabelScope(const LabelScope&) = delete;
        LabelScope& operator=(const LabelScope&) = delete;

    private:
        Parser& p_;
        std::string_view saved_label_;
        std::size_t saved_pos_;
    };

    void record(std::size_t first, std::size_t last, std::string message) {
        errors_.push_back(GrammarError{first, last, std::move(message)});
    }
    GrammarError syntax_error() const;
    // The full dotted text of an Identifier token (head and segments are contiguous in the source).
    static std::string_view dotted_name(const Token& t) {
        return std::string_view(t.text.data(), t.text.size() + t.segments.size());
    }

    // ---- module grammar (module_grammar.cpp) ----
    bool parse_module(std::vector<Item>& items);
    bool parse_item(std::vector<Item>& items);
    bool parse_import(std::vector<Item>& items);
    bool parse_function(std::vector<Item>& items);
    bool parse_attributes(std::optional<Visibility>& visibility, std::optional<CallingConvention>& cconv);
    bool parse_parameters(std::vector<std::pair<Name, Typeref>>& params);
    bool parse_block(BasicBlock& block);
    std::optional<Label> parse_label();
    bool parse_terminator(NkTerminator& out);
    void finish_function(Function& f);

    // ---- instruction grammar (instruction_grammar.cpp) ----
    // The pieces of one instruction line, gathered before the action checks them.
    struct InstrPieces {
        std::size_t first = 0;  // token range of the instruction
        std::size_t last = 0;
        std::optional<std::string_view> dest_name;
        Typeref dest_ty;
        NkInstrOp op = NkInstrOp::IAdd;
        std::string_view variants;  // raw ".a.b" text
        std::optional<Typeref> extra_type;
        bool phi_form = false;
        std::vector<std::pair<Operand, Label>> pairs;
        std::vector<Label> labels;
        std::optional<std::uint32_t> align;
        bool is_volatile = false;
        std::vector<std::string> clause_errors;  // recorded once the range is known
    };
    std::optional<Operand> parse_operand();
    bool parse_instruction(NkInstr& out);
    bool parse_operand_part(InstrPieces& pieces);
    void parse_clauses(InstrPieces& pieces);
    NkInstr build_instruction(InstrPieces& pieces);
    NkInstr build_analysis(InstrPieces& pieces, Name dest);
    bool check_shape(InstrPieces& pieces);
    void record_instr(const InstrPieces& pieces, std::string message);

    // ---- type and constant grammar (type_grammar.cpp) ----
    std::optional<Typeref> parse_type();
    std::optional<Typeref> parse_scalar_or_vector();
    std::optional<PrimaryBasicType> parse_basic_type();
    std::optional<AnyConst> parse_constant();
    std::optional<std::uint16_t> parse_size(std::string_view what);
    Typeref intern_primary(const PrimaryType& t);
    Typeref intern_array(Typeref element, std::uint16_t count);
    Typeref intern_struct(std::vector<Typeref> fields, bool packed);

    // Per-parse caches of interned types: the registry hands out one reference
    // per type, so each distinct type needs to be hashed and locked only once.
    struct ArrayKey {
        Typeref element;
        std::uint16_t count;
        friend bool operator==(const ArrayKey&, const ArrayKey&) = default;
    };
    struct ArrayKeyHash {
        std::size_t operator()(const ArrayKey& k) const noexcept { return TyperefHash{}(k.element) * 31 + k.count; }
    };
    std::unordered_map<std::uint32_t, Typeref> itype_cache_;
    std::optional<Typeref> ftype_cache_[kFTypeCount];
    std::optional<Typeref> ptr_cache_;
    std::unordered_map<std::uint64_t, Typeref> vector_cache_;
    std::unordered_map<ArrayKey, Typeref, ArrayKeyHash> array_cache_;

    const TokenList& list_;
    const Token* toks_;
    std::size_t n_;
    State& state_;
    std::size_t pos_ = 0;

    // Furthest failure.
    bool failed_ = false;
    std::size_t furthest_ = 0;
    std::vector<Expected> expected_;
    // Active label.
    std::string_view label_;
    std::size_t label_pos_ = static_cast<std::size_t>(-1);

    std::vector<GrammarError> errors_;
    // Scratch lists reused across instructions.
    std::vector<Operand> operands_;
};

}  // namespace nkinstr::parser
