#pragma once
// Renders IR values as assembly text: operands, constants, instructions,
// terminators, and whole functions and modules. Used by diagnostics (the type
// checker's messages) and by tools that print a module back.

#include <string>

#include "nkinstr/modules/function.hpp"
#include "nkinstr/modules/module.hpp"

namespace nkinstr {

// The printing context: the registry resolves types (required for anything
// with a destination), the module resolves function names. Either may be null.
struct PrintContext {
    const TypeRegistry* registry = nullptr;
    const Module* module = nullptr;
};

void append_label(std::string& out, Label l);  // block_3
void append_name(std::string& out, Name n);    // %3
void append_function_pointer(std::string& out, const FunctionPointer& p, const Module* module);
void append_const(std::string& out, const AnyConst& c, const Module* module);
void append_operand(std::string& out, const Operand& o, PrintContext ctx);
void append_instruction(std::string& out, const NkInstr& i, PrintContext ctx);
void append_terminator(std::string& out, const NkTerminator& t, PrintContext ctx);

std::string operand_text(const Operand& o, PrintContext ctx);
std::string instruction_text(const NkInstr& i, PrintContext ctx);
std::string terminator_text(const NkTerminator& t, PrintContext ctx);

// The debug form of an instruction (variant name and fields), as used in
// MetaInstructionNotAllowed.
std::string instruction_debug_text(const NkInstr& i);

// Whole functions and modules in the grammar the text reader accepts, so that
// a printed module reads back where the grammar can express it.
void append_function(std::string& out, const Function& f, PrintContext ctx);
std::string module_text(const Module& m, const TypeRegistry& registry);

}  // namespace nkinstr
