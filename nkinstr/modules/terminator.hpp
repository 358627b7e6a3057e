#pragma once
// Terminators: the one control transfer that closes every basic block.

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "nkinstr/modules/operand.hpp"

namespace nkinstr {

struct Branch {
    Operand cond;
    Label target_true;
    Label target_false;
    friend bool operator==(const Branch&, const Branch&) = default;
};
struct Jump {
    Label target;
    friend bool operator==(const Jump&, const Jump&) = default;
};
struct Ret {
    std::optional<Operand> value;
    friend bool operator==(const Ret&, const Ret&) = default;
};
struct Trap {
    friend bool operator==(const Trap&, const Trap&) = default;
};

enum class NkTerminatorOp : std::uint8_t { Branch, Jump, Ret, Trap };
std::string_view terminator_text(NkTerminatorOp op);        // "branch", "jump", "ret", "trap"
std::string_view terminator_debug_name(NkTerminatorOp op);  // "Branch", ...
std::optional<NkTerminatorOp> parse_terminator_op(std::string_view text);

struct NkTerminator {
    using Variant = std::variant<Branch, Jump, Ret, Trap>;
    Variant v = Trap{};

    NkTerminator() = default;
    template <class R, class = std::enable_if_t<!std::is_same_v<std::decay_t<R>, NkTerminator>>>
    NkTerminator(R&& record) : v(std::forward<R>(record)) {}

    NkTerminatorOp op() const { return static_cast<NkTerminatorOp>(v.index()); }

    // Branch: target_true, then target_false; Jump: target; Ret, Trap: none.
    template <class F>
    void for_each_successor(F&& f) const {
        if (auto* b = std::get_if<Branch>(&v)) {
            f(b->target_true);
            f(b->target_false);
        } else if (auto* j = std::get_if<Jump>(&v)) {
            f(j->target);
        }
    }
    // Branch: cond; Ret: its value when present.
    template <class F>
    void for_each_operand(F&& f) const { visit_operands(*this, f); }
    template <class F>
    void for_each_operand_mut(F&& f) { visit_operands(*this, f); }

    friend bool operator==(const NkTerminator&, const NkTerminator&) = default;

private:
    template <class Self, class F>
    static void visit_operands(Self& self, F& f) {
        if (auto* b = std::get_if<Branch>(&self.v)) {
            f(b->cond);
        } else if (auto* r = std::get_if<Ret>(&self.v)) {
            if (r->value) f(*r->value);
        }
    }
};

}  // namespace nkinstr
