#include "nkinstr/modules/fmt/printer.hpp"

#include "nkinstr/modules/fmt/writer.hpp"
#include "nkinstr/utils/error.hpp"

namespace nkinstr {

using printing::Style;
using printing::Writer;

void append_label(std::string& out, Label l) { Writer(out, {}, Style::Diagnostic).label(l); }
void append_name(std::string& out, Name n) { Writer(out, {}, Style::Diagnostic).name(n); }

void append_function_pointer(std::string& out, const FunctionPointer& p, const Module* module) {
    Writer(out, {nullptr, module}, Style::Diagnostic).function_pointer(p);
}

void append_const(std::string& out, const AnyConst& c, const Module* module) {
    Writer(out, {nullptr, module}, Style::Diagnostic).constant(c);
}

void append_operand(std::string& out, const Operand& o, PrintContext ctx) {
    Writer(out, ctx, Style::Diagnostic).operand(o);
}

void append_instruction(std::string& out, const NkInstr& i, PrintContext ctx) {
    Writer(out, ctx, Style::Diagnostic).instruction(i);
}

void append_terminator(std::string& out, const NkTerminator& t, PrintContext ctx) {
    Writer(out, ctx, Style::Diagnostic).terminator(t);
}

std::string operand_text(const Operand& o, PrintContext ctx) {
    std::string s;
    append_operand(s, o, ctx);
    return s;
}

std::string instruction_text(const NkInstr& i, PrintContext ctx) {
    std::string s;
    append_instruction(s, i, ctx);
    return s;
}

std::string terminator_text(const NkTerminator& t, PrintContext ctx) {
    std::string s;
    append_terminator(s, t, ctx);
    return s;
}

// ---- whole functions and modules, in the form the reader accepts ----

namespace {

void append_header(Writer& w, std::string& out, const Function& f) {
    out += "define ";
    if (f.return_type)
        w.type(*f.return_type);
    else
        out += "void";
    if (f.visibility) {
        out.push_back(' ');
        out += visibility_text(*f.visibility);
    }
    if (f.cconv) {
        out.push_back(' ');
        out += f.cconv->to_string();
    }
    out.push_back(' ');
    if (f.meta_function) out.push_back('!');
    printing::append_source_function_name(out, f);
    out.push_back('(');
    for (std::size_t k = 0; k < f.params.size(); ++k) {
        if (k) out += ", ";
        w.name(f.params[k].first);
        out += ": ";
        w.type(f.params[k].second);
    }
    out += ") {\n";
}

// Facts the grammar cannot state are kept as comments above the header.
void append_header_comments(std::string& out, const Function& f) {
    if (!f.wildcard_types.empty()) {
        out += "; wildcard types:";
        for (auto index : f.wildcard_types) {
            out.push_back(' ');
            append_wildcard_name(out, index);
        }
        out.push_back('\n');
    }
    if (f.link_uuid) {
        out += "; link uuid ";
        f.link_uuid->append_to(out);
        out.push_back('\n');
    }
}

void append_external(std::string& out, const ExternalFunction& e, const TypeRegistry& registry) {
    // External declarations have no text form; the comment still shows them.
    Writer w(out, {&registry, nullptr}, Style::Source);
    out += "; external ";
    out += e.cconv.to_string();
    out.push_back(' ');
    if (e.return_type)
        w.type(*e.return_type);
    else
        out += "void";
    out.push_back(' ');
    append_debug_string(out, e.name);  // quoted: a line feed in a name must not end the comment
    out.push_back('(');
    for (std::size_t k = 0; k < e.param_types.size(); ++k) {
        if (k) out += ", ";
        w.type(e.param_types[k]);
    }
    out += ")\n";
}

}  // namespace

void append_function(std::string& out, const Function& f, PrintContext ctx) {
    Writer w(out, ctx, Style::Source);
    append_header_comments(out, f);
    append_header(w, out, f);
    for (const auto& [label, block] : f.body) {
        w.label(block.label);
        out += ":\n";
        for (const auto& instruction : block.instructions) {
            out += "  ";
            w.instruction(instruction);
            out.push_back('\n');
        }
        out += "  ";
        w.terminator(block.terminator);
        out.push_back('\n');
    }
    out += "}\n";
}

std::string module_text(const Module& m, const TypeRegistry& registry) {
    std::string out;
    for (const auto& [uuid, external] : m.external_functions) append_external(out, external, registry);
    for (const auto& [uuid, function] : m.functions) {
        if (!function) continue;
        if (!out.empty()) out.push_back('\n');
        append_function(out, *function, {&registry, &m});
    }
    return out;
}

}  // namespace nkinstr
