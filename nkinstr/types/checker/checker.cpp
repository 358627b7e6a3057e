// The type checker's driver: the register environment, operand types, type
// shapes, messages, instruction dispatch and the terminator rules.

#include "nkinstr/types/checker/checker.hpp"

#include "nkinstr/modules/fmt/printer.hpp"
#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

namespace checker {

const VectorType* Shape::as_vector() const {
    if (!type) return nullptr;
    const auto* p = std::get_if<PrimaryType>(type);
    return p ? std::get_if<VectorType>(p) : nullptr;
}

namespace {

template <class T>
void classify_scalar(Shape& s, const T& t) {
    if (auto* i = std::get_if<IType>(&t)) {
        s.scalar = Scalar::Int;
        s.bits = i->num_bits;
    } else if (auto* f = std::get_if<FType>(&t)) {
        s.scalar = Scalar::Float;
        s.ftype = *f;
    } else if (std::holds_alternative<PtrType>(t)) {
        s.scalar = Scalar::Ptr;
    } else if (std::holds_alternative<WildcardType>(t)) {
        s.scalar = Scalar::Any;
    } else {
        s.scalar = Scalar::Other;
    }
}

}  // namespace

Checker::Checker(const Function& function, TypeRegistry& registry)
    : function_(function), registry_(registry), env_(make_register_table<Typeref>(function)) {}

Shape Checker::shape(Typeref r) const {
    Shape s;
    s.ref = r;
    if (r.is_wildcard()) {
        s.wildcard = true;
        s.scalar = Scalar::Any;
        return s;
    }
    s.type = registry_.find(r);
    if (!s.type) {
        s.unknown = true;
        return s;
    }
    if (const auto* p = std::get_if<PrimaryType>(s.type)) {
        if (const auto* v = std::get_if<VectorType>(p)) {
            s.vector = true;
            s.size = v->size;
            classify_scalar(s, v->element);
        } else {
            classify_scalar(s, *p);
        }
    }
    return s;
}

Typeref Checker::intern_element(const VectorType& v) { return registry_.intern(to_primary(v.element)); }

Typeref Checker::ptr() {
    if (!ptr_type_) ptr_type_ = registry_.intern(PrimaryType{PtrType{}});
    return *ptr_type_;
}

Typeref Checker::const_type(const AnyConst& c) {
    return std::visit(Overloaded{
                          [&](const IConst& v) {
                              auto it = int_types_.find(v.ty.num_bits);
                              if (it == int_types_.end())
                                  it = int_types_.emplace(v.ty.num_bits, registry_.intern(PrimaryType{v.ty})).first;
                              return it->second;
                          },
                          [&](const FConst& v) {
                              auto& slot = float_types_[static_cast<int>(v.ty)];
                              if (!slot) slot = registry_.intern(PrimaryType{v.ty});
                              return *slot;
                          },
                          [&](const FunctionPointer&) { return ptr(); },
                      },
                      c);
}

Result<Typeref, Error> Checker::operand_type(const Operand& o) {
    if (const Name* n = as_reg(o)) {
        if (const Typeref* t = env_.find(*n)) return *t;
        return fail(errors::UndefinedName{*n});
    }
    if (const AnyConst* c = as_imm(o)) return const_type(*c);
    return std::get<Undef>(o).ty;
}

Status Checker::build_environment() {
    // A repeated parameter name keeps its last type.
    for (const auto& [name, ty] : function_.params) env_.insert_or_assign(name, ty);
    for (const auto& [label, block] : function_.body) {
        for (const auto& instr : block.instructions) {
            auto dest = instr.destination();
            if (!dest) continue;
            // A destination without a type (an invoke missing its ty) is a
            // malformed record; an all-zero reference makes every use of it a
            // reported mismatch rather than a crash.
            if (!env_.insert_or_assign(*dest, instr.destination_type().value_or(Typeref{})))
                return fail(errors::DuplicateDefinition{*dest});
        }
    }
    return {};
}

std::string Checker::subject_text() const {
    const PrintContext ctx{&registry_, nullptr};
    if (current_instr_) return instruction_text(*current_instr_, ctx);
    if (current_term_) return terminator_text(*current_term_, ctx);
    return {};
}

Error Checker::mismatch(std::string expected, std::string found) const {
    return errors::TypeMismatch{subject_text(), std::move(expected), std::move(found)};
}

Error Checker::out_of_bounds(std::uint64_t index, Typeref current, std::size_t max) const {
    return errors::IndexOutOfBounds{static_cast<std::size_t>(index), text(current), max, subject_text()};
}

Status Checker::expect_type(const Operand& o, Typeref expected) {
    auto t = operand_type(o);
    if (!t) return fail(std::move(t).error());
    if (!same(*t, expected)) return fail(mismatch(expected, *t));
    return {};
}

Status Checker::expect_i1(const Operand& o) {
    auto t = operand_type(o);
    if (!t) return fail(std::move(t).error());
    if (!shape(*t).is_i1()) return fail(mismatch("i1", *t));
    return {};
}

Status Checker::expect_ptr(const Operand& o) {
    auto t = operand_type(o);
    if (!t) return fail(std::move(t).error());
    if (!shape(*t).is_ptr()) return fail(mismatch("ptr", *t));
    return {};
}

Status Checker::check_instruction(const NkInstr& instr) {
    using Op = NkInstrOp;
    const Op op = instr.op();
    switch (op) {
        case Op::IAdd: case Op::ISub: case Op::IMul: case Op::IDiv: case Op::IRem: case Op::ISht:
        case Op::INeg: case Op::IAnd: case Op::IOr: case Op::IXor: case Op::INot: case Op::IImplies:
        case Op::IEquiv:
            return check_int_arith(instr, *instr.destination_type());
        case Op::FAdd: case Op::FSub: case Op::FMul: case Op::FDiv: case Op::FRem: case Op::FNeg:
            return check_float_arith(instr, *instr.destination_type());
        case Op::ICmp: {
            const auto& r = *instr.get_if<ICmp>();
            return check_compare(r.ty, r.lhs, r.rhs, Scalar::Int);
        }
        case Op::FCmp: {
            const auto& r = *instr.get_if<FCmp>();
            return check_compare(r.ty, r.lhs, r.rhs, Scalar::Float);
        }
        case Op::MLoad: return expect_ptr(instr.get_if<MLoad>()->addr);
        case Op::MStore: return expect_ptr(instr.get_if<MStore>()->addr);
        case Op::MAlloca: {
            auto t = operand_type(instr.get_if<MAlloca>()->count);
            if (!t) return fail(std::move(t).error());
            if (!shape(*t).scalar_int()) return fail(mismatch("iN", *t));
            return {};
        }
        case Op::MGetElementPtr: return check_gep(*instr.get_if<MGetElementPtr>());
        case Op::Invoke: return check_invoke(*instr.get_if<Invoke>());
        case Op::Phi: return check_phi(*instr.get_if<Phi>());
        case Op::Select: return check_select(*instr.get_if<Select>());
        case Op::Cast: return check_cast(*instr.get_if<Cast>());
        case Op::InsertValue: return check_insert_value(*instr.get_if<InsertValue>());
        case Op::ExtractValue: return check_extract_value(*instr.get_if<ExtractValue>());
        case Op::MetaAssert: case Op::MetaAssume: case Op::MetaIsDef: case Op::MetaProb:
        case Op::MetaAnalysisStat: case Op::MetaForall:
            return check_meta(instr);
    }
    return {};
}

Status Checker::check_terminator(const NkTerminator& term) {
    if (const auto* branch = std::get_if<Branch>(&term.v)) return expect_i1(branch->cond);
    const auto* ret = std::get_if<Ret>(&term.v);
    if (!ret) return {};  // jump, trap
    if (function_.return_type) {
        // No value at all is a mismatch even against a wildcard return type.
        if (!ret->value) return fail(mismatch(text(*function_.return_type), "void"));
        return expect_type(*ret->value, *function_.return_type);
    }
    if (ret->value) {
        auto t = operand_type(*ret->value);
        if (!t) return fail(std::move(t).error());
        return fail(mismatch("void", *t));
    }
    return {};
}

Status Checker::run() {
    NK_TRY(build_environment());
    for (const auto& [label, block] : function_.body) {
        for (const auto& instr : block.instructions) {
            current_instr_ = &instr;
            NK_TRY(check_instruction(instr));
        }
    }
    current_instr_ = nullptr;
    for (const auto& [label, block] : function_.body) {
        current_term_ = &block.terminator;
        NK_TRY(check_terminator(block.terminator));
    }
    current_term_ = nullptr;
    return {};
}

}  // namespace checker

Status Function::type_check(TypeRegistry& registry) const { return checker::Checker(*this, registry).run(); }

}  // namespace nkinstr
