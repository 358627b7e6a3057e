// Type rules that walk into aggregate types: getelementptr, insertvalue and
// extractvalue. The walks are loops over the index lists, so any nesting
// depth of structs and arrays costs no stack.

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/types/checker/checker.hpp"

namespace nkinstr::checker {

namespace {

// The value of a constant integer index that fits in 32 unsigned bits.
std::optional<std::uint32_t> constant_index(const Operand& o) {
    const AnyConst* c = as_imm(o);
    const IConst* i = c ? std::get_if<IConst>(c) : nullptr;
    if (!i || i->value < 0 || i->value > BigInt(0xFFFFFFFFu)) return std::nullopt;
    return i->value.convert_to<std::uint32_t>();
}

}  // namespace

Status Checker::check_gep(const MGetElementPtr& gep) {
    const PrintContext ctx{&registry_, nullptr};
    const Typeref p = ptr();
    if (!same(gep.ty, p)) return fail(mismatch(p, gep.ty));
    auto base = operand_type(gep.base);
    if (!base) return fail(std::move(base).error());
    if (!same(*base, p)) return fail(mismatch(p, *base));
    for (const auto& index : gep.indices) {
        auto t = operand_type(index);
        if (!t) return fail(std::move(t).error());
        if (!shape(*t).scalar_int()) return fail(mismatch("iN", operand_text(index, ctx)));
    }

    // The first index steps over the pointer and leaves the type unchanged.
    Typeref current = gep.in_ty;
    for (std::size_t k = 1; k < gep.indices.size(); ++k) {
        const Shape s = shape(current);
        if (s.wildcard) return {};  // nothing is known below a type variable
        if (const auto* st = s.as_struct()) {
            const auto value = constant_index(gep.indices[k]);
            if (!value) return fail(mismatch("constant integer", operand_text(gep.indices[k], ctx)));
            if (*value >= st->element_types.size())
                return fail(out_of_bounds(*value, current, st->element_types.size()));
            current = st->element_types[*value];
        } else if (const auto* arr = s.as_array()) {
            current = arr->element_type;  // array bounds are not checked through a pointer
        } else if (const auto* vec = s.as_vector()) {
            current = intern_element(*vec);
        } else {
            return fail(mismatch("aggregate type", current));
        }
    }
    return {};
}

Result<Typeref, Error> Checker::walk_aggregate(Typeref start, const std::vector<std::uint32_t>& indices) {
    Typeref current = start;
    for (const std::uint32_t index : indices) {
        const Shape s = shape(current);
        if (s.wildcard) return current;  // the rest of the path is unknown: a wildcard is reached
        if (const auto* st = s.as_struct()) {
            if (index >= st->element_types.size())
                return fail(out_of_bounds(index, current, st->element_types.size()));
            current = st->element_types[index];
        } else if (const auto* arr = s.as_array()) {
            if (index >= arr->num_elements) return fail(out_of_bounds(index, current, arr->num_elements));
            current = arr->element_type;
        } else if (const auto* vec = s.as_vector(); vec && vec->size.kind == VcSize::Kind::Fixed) {
            if (index >= vec->size.lanes) return fail(out_of_bounds(index, current, vec->size.lanes));
            current = intern_element(*vec);
        } else {
            return fail(mismatch("aggregate type", current));
        }
    }
    return current;
}

Status Checker::check_insert_value(const InsertValue& iv) {
    NK_TRY(expect_type(iv.aggregate, iv.ty));
    auto reached = walk_aggregate(iv.ty, iv.indices);
    if (!reached) return fail(std::move(reached).error());
    return expect_type(iv.value, *reached);
}

Status Checker::check_extract_value(const ExtractValue& ev) {
    auto agg = operand_type(ev.aggregate);
    if (!agg) return fail(std::move(agg).error());
    auto reached = walk_aggregate(*agg, ev.indices);
    if (!reached) return fail(std::move(reached).error());
    if (!same(ev.ty, *reached)) return fail(mismatch(*reached, ev.ty));
    return {};
}

}  // namespace nkinstr::checker
