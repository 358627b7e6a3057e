// Encoders: every record is the concatenation of its fields, no framing.

#include <iterator>

#include "nkinstr/encoding/encoding.hpp"
#include "nkinstr/encoding/fields.hpp"

namespace nkinstr {

namespace {

// Lengths and counts are 32-bit on the wire.
void put_count(ByteWriter& w, std::size_t n) { w.u32(static_cast<std::uint32_t>(n)); }

template <class E>
void put_enum(ByteWriter& w, E e) {
    w.u8(static_cast<std::uint8_t>(e));
}

// Minimal two's complement of a value that fits 64 bits: drop the top bytes
// that only repeat the sign of the byte below them.
void put_small_int(ByteWriter& w, std::int64_t v) {
    std::uint8_t b[8];
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) b[i] = std::uint8_t(u >> (8 * i));
    std::size_t n = 8;
    while (n > 1) {
        const bool below_negative = (b[n - 2] & 0x80) != 0;
        if ((b[n - 1] == 0x00 && !below_negative) || (b[n - 1] == 0xFF && below_negative))
            --n;
        else
            break;
    }
    put_count(w, n);
    w.bytes(b, n);
}

void put_big_int(ByteWriter& w, const BigInt::Wide& v) {
    const bool negative = v.sign() < 0;
    std::vector<std::uint8_t> bytes;
    boost::multiprecision::export_bits(negative ? BigInt::Wide(-v) : v, std::back_inserter(bytes), 8, false);
    while (bytes.size() > 1 && bytes.back() == 0) bytes.pop_back();
    if (bytes.back() & 0x80) {
        // -2^(8k-1) already fits its k bytes; every other value needs a sign byte.
        const bool fits = negative && bytes.back() == 0x80 &&
                          std::all_of(bytes.begin(), bytes.end() - 1, [](std::uint8_t b) { return b == 0; });
        if (!fits) bytes.push_back(0);
    }
    if (negative) {
        unsigned carry = 1;
        for (auto& b : bytes) {
            const unsigned sum = unsigned(std::uint8_t(~b)) + carry;
            b = std::uint8_t(sum);
            carry = sum >> 8;
        }
    }
    put_count(w, bytes.size());
    w.bytes(bytes.data(), bytes.size());
}

// The generic field writer used by the record visitors.
struct FieldWriter {
    ByteWriter& w;

    void operator()(const Name& n) const { w.u32(n.id); }
    void operator()(const Label& l) const { w.u32(l.id); }
    void operator()(const Typeref& t) const { w.bytes(t.uuid.bytes.data(), 16); }
    void operator()(const Uuid& u) const { w.bytes(u.bytes.data(), 16); }
    void operator()(std::uint16_t v) const { w.u16(v); }
    void operator()(std::uint32_t v) const { w.u32(v); }
    void operator()(bool v) const { w.u8(v ? 1 : 0); }
    void operator()(const std::string& s) const { encode(w, s); }
    void operator()(const Operand& o) const { encode(w, o); }
    void operator()(const CallingConvention& c) const { encode(w, c); }
    void operator()(Visibility v) const { put_enum(w, v); }
    void operator()(OverflowSignednessPolicy v) const { put_enum(w, v); }
    void operator()(IntegerSignedness v) const { put_enum(w, v); }
    void operator()(ICmpVariant v) const { put_enum(w, v); }
    void operator()(IShiftVariant v) const { put_enum(w, v); }
    void operator()(FCmpVariant v) const { put_enum(w, v); }
    void operator()(CastVariant v) const { put_enum(w, v); }
    void operator()(MemoryOrdering v) const { put_enum(w, v); }
    void operator()(const MetaProbArg& a) const {
        put_enum(w, a.variant);
        encode(w, a.operand);
    }
    void operator()(const TerminationScope& s) const {
        w.u8(std::uint8_t(s.index()));
        if (auto* reach = std::get_if<ReachAny>(&s)) (*this)(reach->labels);
    }
    void operator()(const AnalysisStatistic& s) const {
        w.u8(std::uint8_t(s.index()));
        if (auto* count = std::get_if<InstructionCount>(&s)) w.u32(count->flags.bits);
        if (auto* term = std::get_if<TerminationBehavior>(&s)) (*this)(term->scope);
    }
    template <class T>
    void operator()(const std::optional<T>& o) const {
        w.u8(o ? 1 : 0);
        if (o) (*this)(*o);
    }
    template <class A, class B>
    void operator()(const std::pair<A, B>& p) const {
        (*this)(p.first);
        (*this)(p.second);
    }
    template <class T>
    void operator()(const std::vector<T>& list) const {
        put_count(w, list.size());
        for (const auto& e : list) (*this)(e);
    }
};

}  // namespace

void encode(ByteWriter& w, const BigInt& v) {
    if (v.is_small())
        put_small_int(w, v.small());
    else
        put_big_int(w, v.to_wide());
}

void encode(ByteWriter& w, const Decimal& v) {
    encode(w, v.unscaled);
    w.i64(v.scale);
}

void encode(ByteWriter& w, const std::string& text) {
    put_count(w, text.size());
    w.bytes(text.data(), text.size());
}

// ---- types ----

void encode(ByteWriter& w, const IType& t) { w.u32(t.num_bits); }
void encode(ByteWriter& w, FType t) { put_enum(w, t); }

void encode(ByteWriter& w, const ExtType& t) {
    FieldWriter f{w};
    f(t.uuid);
    f(t.params);
}

void encode(ByteWriter& w, const VcSize& s) {
    put_enum(w, s.kind);
    w.u16(s.lanes);
}

namespace {
template <class Scalar>
void put_scalar_payload(ByteWriter& w, const Scalar& t) {
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, IType> || std::is_same_v<V, FType> || std::is_same_v<V, ExtType>) {
                encode(w, v);
            } else if constexpr (std::is_same_v<V, WildcardType>) {
                w.u16(v.index);
            } else if constexpr (std::is_same_v<V, VectorType>) {
                encode(w, v.element);
                encode(w, v.size);
            }  // PtrType, LabelType: no payload
        },
        t);
}
}  // namespace

void encode(ByteWriter& w, const PrimaryBasicType& t) {
    w.u8(std::uint8_t(t.index()));
    put_scalar_payload(w, t);
}

void encode(ByteWriter& w, const PrimaryType& t) {
    w.u8(std::uint8_t(t.index()));
    put_scalar_payload(w, t);
}

void encode(ByteWriter& w, const ArrayType& t) {
    FieldWriter{w}(t.element_type);
    w.u16(t.num_elements);
}

void encode(ByteWriter& w, const StructType& t) {
    FieldWriter f{w};
    f(t.element_types);
    f(t.packed);
}

void encode(ByteWriter& w, const AnyType& t) {
    w.u8(std::uint8_t(t.index()));
    std::visit([&](const auto& v) { encode(w, v); }, t);
}

// ---- constants and operands ----

void encode(ByteWriter& w, const IConst& c) {
    encode(w, c.ty);
    encode(w, c.value);
}

void encode(ByteWriter& w, const FConst& c) {
    encode(w, c.ty);
    encode(w, c.value);
}

void encode(ByteWriter& w, const FunctionPointer& p) {
    put_enum(w, p.kind);
    w.bytes(p.uuid.bytes.data(), 16);
}

void encode(ByteWriter& w, const AnyConst& c) {
    w.u8(std::uint8_t(c.index()));
    std::visit([&](const auto& v) { encode(w, v); }, c);
}

void encode(ByteWriter& w, const Operand& o) {
    w.u8(std::uint8_t(o.index()));
    if (auto* reg = std::get_if<Name>(&o))
        w.u32(reg->id);
    else if (auto* imm = std::get_if<AnyConst>(&o))
        encode(w, *imm);
    else
        FieldWriter{w}(std::get<Undef>(o).ty);
}

// ---- instructions and terminators ----

void encode(ByteWriter& w, const NkInstr& i) {
    w.u8(std::uint8_t(i.v.index()));
    std::visit([&](const auto& record) { encoding_detail::for_each_instr_field(record, FieldWriter{w}); }, i.v);
}

void encode(ByteWriter& w, const NkTerminator& t) {
    FieldWriter f{w};
    w.u8(std::uint8_t(t.v.index()));
    if (auto* b = std::get_if<Branch>(&t.v)) {
        f(b->cond);
        f(b->target_true);
        f(b->target_false);
    } else if (auto* j = std::get_if<Jump>(&t.v)) {
        f(j->target);
    } else if (auto* r = std::get_if<Ret>(&t.v)) {
        f(r->value);
    }
}

// ---- functions and modules ----

void encode(ByteWriter& w, const CallingConvention& c) {
    put_enum(w, c.kind);
    if (c.kind == CallingConvention::Kind::Numbered) w.u32(c.number);
}

void encode(ByteWriter& w, Visibility v) { put_enum(w, v); }

void encode(ByteWriter& w, const BasicBlock& b) {
    w.u32(b.label.id);
    put_count(w, b.instructions.size());
    for (const auto& i : b.instructions) encode(w, i);
    encode(w, b.terminator);
}

void encode(ByteWriter& w, const Function& fn) {
    FieldWriter f{w};
    f(fn.uuid);
    f(fn.name);
    f(fn.params);
    f(fn.return_type);
    put_count(w, fn.body.size());
    for (const auto& [label, block] : fn.body) {
        f(label);
        encode(w, block);
    }
    f(fn.visibility);
    f(fn.cconv);
    put_count(w, fn.wildcard_types.size());
    for (auto index : fn.wildcard_types) w.u16(index);
    f(fn.meta_function);
    f(fn.link_uuid);
}

void encode(ByteWriter& w, const ExternalFunction& fn) {
    FieldWriter f{w};
    f(fn.uuid);
    f(fn.name);
    f(fn.cconv);
    f(fn.param_types);
    f(fn.return_type);
}

void encode(ByteWriter& w, const Module& m) {
    FieldWriter f{w};
    put_count(w, m.functions.size());
    for (const auto& [uuid, fn] : m.functions) {
        f(uuid);
        encode(w, *fn);
    }
    put_count(w, m.external_functions.size());
    for (const auto& [uuid, fn] : m.external_functions) {
        f(uuid);
        encode(w, fn);
    }
}

void encode(ByteWriter& w, const TypeRegistry& registry) {
    // Collect under the shared lock so that the count and the entries agree;
    // registered entries never move or change, so the pointers stay valid.
    std::vector<std::pair<Typeref, const AnyType*>> entries;
    registry.for_each_entry([&](const Typeref& ref, const AnyType& ty) { entries.emplace_back(ref, &ty); });
    w.u64(entries.size());
    for (const auto& [ref, ty] : entries) {
        FieldWriter{w}(ref);
        encode(w, *ty);
    }
}

void encode(ByteWriter& w, const std::vector<std::string>& texts) { FieldWriter{w}(texts); }

void encode_module(ByteSink& sink, const Module& module) {
    ByteWriter w(sink);
    encode(w, module);
}

void encode_registry(ByteSink& sink, const TypeRegistry& registry) {
    ByteWriter w(sink);
    encode(w, registry);
}

void encode_text_list(ByteSink& sink, const std::vector<std::string>& texts) {
    ByteWriter w(sink);
    encode(w, texts);
}

}  // namespace nkinstr
