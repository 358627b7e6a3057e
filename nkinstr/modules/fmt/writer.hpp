#pragma once
// Internal to the printer: one writer renders operands, instructions and
// terminators in either of two styles.
//  - Diagnostic: the compact form used in error messages (function pointers
//    as "ptr %name", "jump label block_1", ", atomic seq_cst", ...).
//  - Source: the assembly form the text reader accepts, so that a printed
//    function reads back wherever the grammar can express it.

#include <string>

#include "nkinstr/modules/fmt/printer.hpp"

namespace nkinstr::printing {

enum class Style { Diagnostic, Source };

// The name a function is printed under in source form: its own, or a
// generated identifier derived from its UUID when it has none.
std::string source_function_name(const Function& f);
void append_source_function_name(std::string& out, const Function& f);

class Writer {
public:
    Writer(std::string& out, PrintContext ctx, Style style) : out_(out), ctx_(ctx), style_(style) {}

    void type(Typeref r);
    void name(Name n);
    void label(Label l);
    void function_pointer(const FunctionPointer& p);
    void constant(const AnyConst& c);
    void operand(const Operand& o);
    void instruction(const NkInstr& i);
    void terminator(const NkTerminator& t);

private:
    void instruction_body(const NkInstr& i);
    void operand_list(const NkInstr& i);  // ' ' then the operands joined by ", " (nothing if none)
    void memory_clauses(std::optional<MemoryOrdering> ordering, std::optional<std::uint32_t> align,
                        bool is_volatile);
    void aggregate_indices(const std::vector<std::uint32_t>& indices);
    void analysis(const AnalysisStatistic& s);
    void decimal(const Decimal& d);
    void text(std::string_view s) { out_ += s; }
    void number(std::uint64_t v);

    bool source() const { return style_ == Style::Source; }

    std::string& out_;
    PrintContext ctx_;
    Style style_;
};

}  // namespace nkinstr::printing
