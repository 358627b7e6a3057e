#include "nkinstr/modules/parser/syntax_error.hpp"

namespace nkinstr::parser {

namespace {
void append_item(std::string& out, const Expected& e) {
    if (e.quoted) out.push_back('\'');
    out += e.text;
    if (e.quoted) out.push_back('\'');
}
}  // namespace

std::string found_expected_message(const std::optional<std::string>& found, const std::vector<Expected>& expected) {
    std::string out = "found ";
    if (found) {
        out.push_back('\'');
        out += *found;
        out.push_back('\'');
    } else {
        out += kEndOfInput;
    }
    out += " expected ";
    if (expected.empty()) {
        out += "something else";
        return out;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i > 0) out += ", ";
        if (i > 0 && i + 1 == expected.size()) out += "or ";
        append_item(out, expected[i]);
    }
    return out;
}

}  // namespace nkinstr::parser
