// Decoders. Counts and lengths come from untrusted input: storage grows only
// as elements actually arrive (at most ~4 KiB reserved ahead), every loop over
// a count stops at the first failure, and nothing recurses on input depth.

#include <algorithm>
#include <iterator>
#include <utility>

#include <fmt/format.h>

#include "nkinstr/encoding/encoding.hpp"
#include "nkinstr/encoding/fields.hpp"

namespace nkinstr {

namespace {

constexpr std::size_t kReserveBytes = 4096;

template <class T>
std::size_t initial_capacity(std::uint64_t count) {
    constexpr std::size_t most = std::max<std::size_t>(1, kReserveBytes / sizeof(T));
    return static_cast<std::size_t>(std::min<std::uint64_t>(count, most));
}

// Memory of one ordered-map or set node beyond its value (three links, colour).
constexpr std::size_t kTreeNodeOverhead = 32;

template <class E>
void get_enum(ByteReader& r, E& out, std::size_t count) {
    const std::uint8_t tag = r.u8();
    if (tag >= count) {
        r.fail(invalid_tag_message(tag));
        return;
    }
    out = static_cast<E>(tag);
}

// Reads a variant tag and calls f(alternative) on the freshly emplaced alternative.
template <class V, class F, std::size_t... Is>
void emplace_alternative(V& v, std::uint8_t tag, F& f, std::index_sequence<Is...>) {
    (void)((tag == Is && (f(v.template emplace<Is>()), true)) || ...);
}

template <class V, class F>
void get_variant(ByteReader& r, V& v, F&& f) {
    constexpr std::size_t kCount = std::variant_size_v<V>;
    const std::uint8_t tag = r.u8();
    if (tag >= kCount) {
        r.fail(invalid_tag_message(tag));
        return;
    }
    emplace_alternative(v, tag, f, std::make_index_sequence<kCount>{});
}

// Inserts into an ordered container; a later equal key replaces an earlier
// one. Sorted input (what encoders write) appends at the end in O(1).
template <class Map, class Key, class Value>
void insert_entry(Map& map, Key&& key, Value&& value) {
    if (map.empty() || map.rbegin()->first < key)
        map.emplace_hint(map.end(), std::forward<Key>(key), std::forward<Value>(value));
    else
        map.insert_or_assign(std::forward<Key>(key), std::forward<Value>(value));
}

// The generic field reader used by the record visitors.
struct FieldReader {
    ByteReader& r;

    void operator()(Name& n) const { n.id = r.u32(); }
    void operator()(Label& l) const { l.id = r.u32(); }
    void operator()(Typeref& t) const { r.bytes(t.uuid.bytes.data(), 16); }
    void operator()(Uuid& u) const { r.bytes(u.bytes.data(), 16); }
    void operator()(std::uint16_t& v) const { v = r.u16(); }
    void operator()(std::uint32_t& v) const { v = r.u32(); }
    void operator()(bool& v) const {
        const std::uint8_t byte = r.u8();
        if (byte > 1) r.fail(invalid_bool_message(byte));
        v = byte == 1;
    }
    void operator()(std::string& s) const { decode(r, s); }
    void operator()(Operand& o) const { decode(r, o); }
    void operator()(CallingConvention& c) const { decode(r, c); }
    void operator()(Visibility& v) const { get_enum(r, v, kVisibilityCount); }
    void operator()(OverflowSignednessPolicy& v) const { small_enum(v); }
    void operator()(IntegerSignedness& v) const { small_enum(v); }
    void operator()(ICmpVariant& v) const { small_enum(v); }
    void operator()(IShiftVariant& v) const { small_enum(v); }
    void operator()(FCmpVariant& v) const { small_enum(v); }
    void operator()(CastVariant& v) const { small_enum(v); }
    void operator()(MemoryOrdering& v) const { small_enum(v); }
    void operator()(MetaProbArg& a) const {
        small_enum(a.variant);
        decode(r, a.operand);
    }
    void operator()(TerminationScope& s) const {
        get_variant(r, s, [&](auto& alt) {
            if constexpr (std::is_same_v<std::decay_t<decltype(alt)>, ReachAny>) (*this)(alt.labels);
        });
    }
    void operator()(AnalysisStatistic& s) const {
        get_variant(r, s, [&](auto& alt) {
            using A = std::decay_t<decltype(alt)>;
            if constexpr (std::is_same_v<A, InstructionCount>) alt.flags.bits = r.u32();
            if constexpr (std::is_same_v<A, TerminationBehavior>) (*this)(alt.scope);
        });
    }
    template <class T>
    void operator()(std::optional<T>& o) const {
        const std::uint8_t flag = r.u8();
        if (flag == 0) {
            o.reset();
        } else if (flag == 1) {
            (*this)(o.emplace());
        } else {
            r.fail(invalid_option_message(flag));
        }
    }
    template <class A, class B>
    void operator()(std::pair<A, B>& p) const {
        (*this)(p.first);
        (*this)(p.second);
    }
    template <class T>
    void operator()(std::vector<T>& list) const {
        const std::uint32_t count = r.u32();
        list.clear();
        list.reserve(initial_capacity<T>(count));
        for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
            if (!r.charge(sizeof(T))) return;
            (*this)(list.emplace_back());
        }
    }

    template <class E>
    void small_enum(E& e) const {
        get_enum(r, e, enum_count<E>());
    }
};

}  // namespace

// ---- numbers and texts ----

void decode(ByteReader& r, BigInt& out) {
    const std::uint32_t n = r.u32();
    if (n <= 8) {
        // Fast path: the value fits 64 bits; sign-extend from the top byte.
        std::uint8_t b[8] = {};
        if (n > 0) r.bytes(b, n);
        std::uint64_t u = 0;
        for (std::uint32_t i = 0; i < n; ++i) u |= std::uint64_t(b[i]) << (8 * i);
        if (n > 0 && n < 8 && (b[n - 1] & 0x80)) u |= ~std::uint64_t(0) << (8 * n);
        out = static_cast<std::int64_t>(u);
        return;
    }
    std::vector<std::uint8_t> bytes;
    r.append_to(bytes, n);
    if (!r.ok()) return;
    const bool negative = (bytes.back() & 0x80) != 0;
    if (negative) {
        // Two's complement back to the magnitude: invert, then add one.
        unsigned carry = 1;
        for (auto& b : bytes) {
            const unsigned sum = unsigned(std::uint8_t(~b)) + carry;
            b = std::uint8_t(sum);
            carry = sum >> 8;
        }
    }
    BigInt::Wide value = 0;
    boost::multiprecision::import_bits(value, bytes.begin(), bytes.end(), 8, false);
    if (negative) value = -value;
    out = BigInt(value);
}

void decode(ByteReader& r, Decimal& out) {
    decode(r, out.unscaled);
    out.scale = r.i64();
}

void decode(ByteReader& r, std::string& out) {
    const std::uint32_t n = r.u32();
    out.clear();
    out.reserve(std::min<std::size_t>(n, kReserveBytes));
    r.append_to(out, n);
    if (!r.ok()) return;
    if (auto error = utf8_error(out)) r.fail(std::move(*error));
}

// ---- types ----

void decode(ByteReader& r, IType& out) { out.num_bits = r.u32(); }
void decode(ByteReader& r, FType& out) { get_enum(r, out, kFTypeCount); }

void decode(ByteReader& r, ExtType& out) {
    FieldReader f{r};
    f(out.uuid);
    f(out.params);
}

void decode(ByteReader& r, VcSize& out) {
    get_enum(r, out.kind, 2);
    out.lanes = r.u16();
}

namespace {
template <class Scalar>
void get_scalar(ByteReader& r, Scalar& out) {
    get_variant(r, out, [&](auto& alt) {
        using A = std::decay_t<decltype(alt)>;
        if constexpr (std::is_same_v<A, IType> || std::is_same_v<A, FType> || std::is_same_v<A, ExtType>) {
            decode(r, alt);
        } else if constexpr (std::is_same_v<A, WildcardType>) {
            alt.index = r.u16();
        } else if constexpr (std::is_same_v<A, VectorType>) {
            decode(r, alt.element);
            decode(r, alt.size);
        }  // PtrType, LabelType: no payload
    });
}
}  // namespace

void decode(ByteReader& r, PrimaryBasicType& out) { get_scalar(r, out); }
void decode(ByteReader& r, PrimaryType& out) { get_scalar(r, out); }

void decode(ByteReader& r, ArrayType& out) {
    FieldReader{r}(out.element_type);
    out.num_elements = r.u16();
}

void decode(ByteReader& r, StructType& out) {
    FieldReader f{r};
    f(out.element_types);
    f(out.packed);
}

void decode(ByteReader& r, AnyType& out) {
    get_variant(r, out, [&](auto& alt) { decode(r, alt); });
}

// ---- constants and operands ----

void decode(ByteReader& r, IConst& out) {
    decode(r, out.ty);
    decode(r, out.value);
}

void decode(ByteReader& r, FConst& out) {
    decode(r, out.ty);
    decode(r, out.value);
}

void decode(ByteReader& r, FunctionPointer& out) {
    get_enum(r, out.kind, 2);
    r.bytes(out.uuid.bytes.data(), 16);
}

void decode(ByteReader& r, AnyConst& out) {
    get_variant(r, out, [&](auto& alt) { decode(r, alt); });
}

void decode(ByteReader& r, Operand& out) {
    get_variant(r, out, [&](auto& alt) {
        using A = std::decay_t<decltype(alt)>;
        if constexpr (std::is_same_v<A, Name>)
            alt.id = r.u32();
        else if constexpr (std::is_same_v<A, AnyConst>)
            decode(r, alt);
        else
            FieldReader{r}(alt.ty);
    });
}

// ---- instructions and terminators ----

void decode(ByteReader& r, NkInstr& out) {
    get_variant(r, out.v, [&](auto& record) { encoding_detail::for_each_instr_field(record, FieldReader{r}); });
}

void decode(ByteReader& r, NkTerminator& out) {
    FieldReader f{r};
    get_variant(r, out.v, [&](auto& t) {
        using T = std::decay_t<decltype(t)>;
        if constexpr (std::is_same_v<T, Branch>) {
            f(t.cond);
            f(t.target_true);
            f(t.target_false);
        } else if constexpr (std::is_same_v<T, Jump>) {
            f(t.target);
        } else if constexpr (std::is_same_v<T, Ret>) {
            f(t.value);
        }
    });
}

// ---- functions and modules ----

void decode(ByteReader& r, CallingConvention& out) {
    get_enum(r, out.kind, CallingConvention::kKindCount);
    out.number = out.kind == CallingConvention::Kind::Numbered ? r.u32() : 0;
}

void decode(ByteReader& r, Visibility& out) { get_enum(r, out, kVisibilityCount); }

namespace {

// Instructions are large; a block's vector growing one push at a time would
// move them again at every reallocation. They are decoded into a scratch
// vector reused across blocks (it grows only as instructions arrive) and then
// moved once into a vector of exact size. A scratch grown beyond this many
// elements is released after use, so one huge block does not pin its memory.
constexpr std::size_t kScratchKeep = 1u << 14;

std::vector<NkInstr>& instruction_scratch() {
    thread_local std::vector<NkInstr> scratch;
    return scratch;
}

// Reads `count` instructions; false when the input ran out or failed.
bool decode_instructions(ByteReader& r, std::uint32_t count, std::vector<NkInstr>& out) {
    std::vector<NkInstr>& scratch = instruction_scratch();
    scratch.clear();
    bool complete = true;
    for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
        if (!r.charge(sizeof(NkInstr))) {
            complete = false;
            break;
        }
        decode(r, scratch.emplace_back());
    }
    out.clear();
    out.reserve(scratch.size());
    std::move(scratch.begin(), scratch.end(), std::back_inserter(out));
    scratch.clear();
    if (scratch.capacity() > kScratchKeep) std::vector<NkInstr>().swap(scratch);
    return complete;
}

}  // namespace

void decode(ByteReader& r, BasicBlock& out) {
    out.label.id = r.u32();
    const std::uint32_t count = r.u32();
    if (!decode_instructions(r, count, out.instructions)) return;
    decode(r, out.terminator);
}

void decode(ByteReader& r, Function& out) {
    FieldReader f{r};
    f(out.uuid);
    f(out.name);
    f(out.params);
    f(out.return_type);

    const std::uint32_t blocks = r.u32();
    out.body.clear();
    for (std::uint32_t i = 0; i < blocks && r.ok(); ++i) {
        if (!r.charge(sizeof(std::pair<const Label, BasicBlock>) + kTreeNodeOverhead)) return;
        Label key{r.u32()};
        BasicBlock block;
        decode(r, block);
        if (!r.ok()) return;
        insert_entry(out.body, key, std::move(block));
    }

    f(out.visibility);
    f(out.cconv);

    const std::uint32_t wildcards = r.u32();
    out.wildcard_types.clear();
    for (std::uint32_t i = 0; i < wildcards && r.ok(); ++i) {
        if (!r.charge(sizeof(std::uint16_t) + kTreeNodeOverhead)) return;
        const std::uint16_t index = r.u16();
        if (r.ok()) out.wildcard_types.insert(out.wildcard_types.end(), index);
    }

    f(out.meta_function);
    f(out.link_uuid);
}

void decode(ByteReader& r, ExternalFunction& out) {
    FieldReader f{r};
    f(out.uuid);
    f(out.name);
    f(out.cconv);
    f(out.param_types);
    f(out.return_type);
}

void decode(ByteReader& r, Module& out) {
    FieldReader f{r};
    out.functions.clear();
    const std::uint32_t functions = r.u32();
    for (std::uint32_t i = 0; i < functions && r.ok(); ++i) {
        if (!r.charge(sizeof(Function) + sizeof(std::pair<const Uuid, std::shared_ptr<Function>>) +
                      2 * kTreeNodeOverhead))
            return;
        Uuid key;
        f(key);
        auto fn = std::make_shared<Function>();
        decode(r, *fn);
        if (!r.ok()) return;
        insert_entry(out.functions, key, std::move(fn));
    }

    out.external_functions.clear();
    const std::uint32_t externals = r.u32();
    for (std::uint32_t i = 0; i < externals && r.ok(); ++i) {
        if (!r.charge(sizeof(std::pair<const Uuid, ExternalFunction>) + kTreeNodeOverhead)) return;
        Uuid key;
        f(key);
        ExternalFunction fn;
        decode(r, fn);
        if (!r.ok()) return;
        insert_entry(out.external_functions, key, std::move(fn));
    }
}

void decode(ByteReader& r, TypeRegistry& out) {
    const std::uint64_t count = r.u64();
    // The type map cannot hold more entries than this; refuse such counts
    // outright instead of reading until the data runs out.
    const std::uint64_t addressable = std::map<Typeref, AnyType>().max_size();
    if (r.ok() && count > addressable) {
        r.fail(fmt::format("Type registry entry count {} exceeds the addressable maximum of {}", count,
                           addressable));
        return;
    }
    for (std::uint64_t i = 0; i < count && r.ok(); ++i) {
        if (!r.charge(sizeof(std::pair<const Typeref, AnyType>) + kTreeNodeOverhead)) return;
        Typeref ref;
        FieldReader{r}(ref);
        AnyType ty;
        decode(r, ty);
        if (!r.ok()) return;
        out.insert_decoded(ref, std::move(ty));
    }
    out.reseed_clock();
}

void decode(ByteReader& r, std::vector<std::string>& out) { FieldReader{r}(out); }

Result<Module, std::string> decode_module(ByteReader& r) { return decode_value<Module>(r); }
Result<TypeRegistry, std::string> decode_registry(ByteReader& r) { return decode_value<TypeRegistry>(r); }
Result<std::vector<std::string>, std::string> decode_text_list(ByteReader& r) {
    return decode_value<std::vector<std::string>>(r);
}

}  // namespace nkinstr
