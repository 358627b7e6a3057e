#include "nkinstr/types/registry.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "nkinstr/utils/log.hpp"
#include "nkinstr/utils/overloaded.hpp"
#include "nkinstr/utils/siphash.hpp"

namespace nkinstr {

namespace {

constexpr std::string_view kTypesTarget = "nkinstr::types";

// Little-endian byte sink for the content hash.
class HashBytes {
public:
    void u8(std::uint8_t v) { buf_.push_back(v); }
    void u16(std::uint16_t v) { put(&v, 2); }
    void u32(std::uint32_t v) { put(&v, 4); }
    void uuid(const Uuid& u) { put(u.bytes.data(), 16); }
    std::uint64_t finish() const { return siphash13(buf_.data(), buf_.size()); }

private:
    void put(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    boost::container::small_vector<std::uint8_t, 64> buf_;
};

template <class Scalar>
void hash_scalar_payload(HashBytes& h, const Scalar& t) {
    std::visit(Overloaded{
                   [&](const IType& v) { h.u32(v.num_bits); },
                   [&](FType v) { h.u32(static_cast<std::uint32_t>(v)); },
                   [&](const ExtType& v) {
                       h.uuid(v.uuid);
                       h.u32(std::uint32_t(v.params.size()));
                       for (auto p : v.params) h.u32(p);
                   },
                   [&](const PtrType&) {},
                   [&](const WildcardType& v) { h.u16(v.index); },
                   [&](const VectorType& v) {
                       h.u32(std::uint32_t(v.element.index()));
                       hash_scalar_payload(h, v.element);
                       h.u32(static_cast<std::uint32_t>(v.size.kind));
                       h.u16(v.size.lanes);
                   },
                   [&](const LabelType&) {},
               },
               t);
}

void append_ref_list(std::string& out, const boost::container::small_vector<Typeref, 1>& refs) {
    out.push_back('[');
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (i) out += ", ";
        refs[i].uuid.append_to(out);
    }
    out.push_back(']');
}

std::string hex16(std::uint64_t h) { return fmt::format("{:016x}", h); }

}  // namespace

std::uint64_t content_hash(const AnyType& t) {
    HashBytes h;
    h.u32(std::uint32_t(t.index()));
    std::visit(Overloaded{
                   [&](const PrimaryType& p) {
                       h.u32(std::uint32_t(p.index()));
                       hash_scalar_payload(h, p);
                   },
                   [&](const ArrayType& a) {
                       h.uuid(a.element_type.uuid);
                       h.u16(a.num_elements);
                   },
                   [&](const StructType& s) {
                       h.u32(std::uint32_t(s.element_types.size()));
                       for (const auto& e : s.element_types) h.uuid(e.uuid);
                       h.u8(s.packed ? 1 : 0);
                   },
               },
               t);
    return h.finish();
}

TypeRegistry::TypeRegistry(NodeId node_id, std::uint16_t clock) : clock_(clock), node_id_(node_id) {}

TypeRegistry::TypeRegistry(TypeRegistry&& other) noexcept
    : types_(std::move(other.types_)),
      inverse_lookup_(std::move(other.inverse_lookup_)),
      clock_(other.clock_.current()),
      node_id_(other.node_id_) {}

Typeref TypeRegistry::search_or_insert(AnyType ty) {
    if (auto* p = std::get_if<PrimaryType>(&ty)) {
        if (auto* w = std::get_if<WildcardType>(p)) return Typeref::wildcard(w->index);
    }
    const std::uint64_t hash = content_hash(ty);

    UpgradableGuard types_guard(types_lock_);
    UpgradableGuard index_guard(index_lock_);
    auto slot = inverse_lookup_.find(hash);
    if (slot != inverse_lookup_.end()) {
        for (const Typeref& candidate : slot->second) {
            auto it = types_.find(candidate);
            if (it != types_.end() && it->second == ty) return candidate;
        }
    }

    types_guard.upgrade();
    index_guard.upgrade();
    const Typeref r{Uuid::new_v6(clock_.next(), node_id_)};
    if (log::enabled(log::Level::Debug) || log::enabled(log::Level::Info))
        log_registration(hash, slot != inverse_lookup_.end() ? &slot->second : nullptr, ty, r);
    if (slot != inverse_lookup_.end())
        slot->second.push_back(r);
    else
        inverse_lookup_.emplace(hash, RefList{r});
    types_.emplace(r, std::move(ty));
    return r;
}

void TypeRegistry::log_registration(std::uint64_t hash, const RefList* previous, const AnyType& ty,
                                    Typeref r) const {
    if (previous) {
        if (log::enabled(log::Level::Info)) {
            std::string lines;
            for (std::size_t i = 0; i < previous->size(); ++i) {
                if (i) lines.push_back('\n');
                lines += " - ";
                (*previous)[i].uuid.append_to(lines);
                lines += " -> ";
                append_type_unlocked(lines, (*previous)[i]);
            }
            log::write(log::Level::Info, kTypesTarget,
                       fmt::format("Detected an hash collision on hash 0x{}. The following types collided:\n{}",
                                   hex16(hash), lines));
        }
        if (log::enabled(log::Level::Debug)) {
            std::string list, text;
            append_ref_list(list, *previous);
            append_any_type_unlocked(text, ty);
            log::write(log::Level::Debug, kTypesTarget,
                       fmt::format("Inverse lookup updated for hash 0x{}: {} (type {})", hex16(hash), list, text));
        }
    } else if (log::enabled(log::Level::Debug)) {
        std::string text;
        append_any_type_unlocked(text, ty);
        log::write(log::Level::Debug, kTypesTarget,
                   fmt::format("New type encountered {}. Registered with UUID {}.", text, r.uuid.to_string()));
    }
}

TypeRegistry::View TypeRegistry::get(Typeref r) const {
    SharedGuard guard(types_lock_);
    const AnyType* t = find_unlocked(r);
    return View(std::move(guard), t);
}

const AnyType* TypeRegistry::find(Typeref r) const {
    SharedGuard guard(types_lock_);
    return find_unlocked(r);
}

const AnyType* TypeRegistry::find_unlocked(Typeref r) const {
    auto it = types_.find(r);
    return it == types_.end() ? nullptr : &it->second;
}

std::size_t TypeRegistry::len() const {
    SharedGuard guard(types_lock_);
    return types_.size();
}

void TypeRegistry::append_type(std::string& out, Typeref r) const {
    SharedGuard guard(types_lock_);
    append_type_unlocked(out, r);
}

std::string TypeRegistry::type_text(Typeref r) const {
    std::string s;
    append_type(s, r);
    return s;
}

void TypeRegistry::append_any_type(std::string& out, const AnyType& t) const {
    SharedGuard guard(types_lock_);
    append_any_type_unlocked(out, t);
}

std::string TypeRegistry::any_type_text(const AnyType& t) const {
    std::string s;
    append_any_type(s, t);
    return s;
}

namespace {
// One step of the iterative printer: a type to print, or literal text.
struct PrintItem {
    const AnyType* type = nullptr;  // a type value (top level)
    Typeref ref{};
    std::string_view literal{};
    enum Kind : std::uint8_t { Value, Ref, Literal } kind = Ref;
};
}  // namespace

void TypeRegistry::append_type_unlocked(std::string& out, Typeref r) const {
    PrintItem root;
    root.kind = PrintItem::Ref;
    root.ref = r;
    std::vector<PrintItem> stack{root};
    while (!stack.empty()) {
        PrintItem item = stack.back();
        stack.pop_back();
        if (item.kind == PrintItem::Literal) {
            out += item.literal;
            continue;
        }
        const AnyType* t = item.type;
        if (item.kind == PrintItem::Ref) {
            if (item.ref.is_wildcard()) {
                append_wildcard_name(out, item.ref.wildcard_index());
                continue;
            }
            t = find_unlocked(item.ref);
            if (!t) {
                out += "<unknown type ";
                item.ref.uuid.append_to(out);
                out.push_back('>');
                continue;
            }
        }
        if (auto* p = std::get_if<PrimaryType>(t)) {
            append_text(out, *p);
        } else if (auto* a = std::get_if<ArrayType>(t)) {
            out += "[ ";
            fmt::format_to(std::back_inserter(out), "{}", a->num_elements);
            out += " x ";
            stack.push_back(PrintItem{nullptr, {}, " ]", PrintItem::Literal});
            stack.push_back(PrintItem{nullptr, a->element_type, {}, PrintItem::Ref});
        } else {
            const auto& s = std::get<StructType>(*t);
            if (s.packed) out += "packed ";
            out.push_back('{');
            stack.push_back(PrintItem{nullptr, {}, "}", PrintItem::Literal});
            for (std::size_t i = s.element_types.size(); i-- > 0;) {
                stack.push_back(PrintItem{nullptr, s.element_types[i], {}, PrintItem::Ref});
                if (i) stack.push_back(PrintItem{nullptr, {}, ", ", PrintItem::Literal});
            }
        }
    }
}

void TypeRegistry::append_any_type_unlocked(std::string& out, const AnyType& t) const {
    if (auto* p = std::get_if<PrimaryType>(&t)) {
        append_text(out, *p);
        return;
    }
    if (auto* a = std::get_if<ArrayType>(&t)) {
        out += "[ ";
        fmt::format_to(std::back_inserter(out), "{}", a->num_elements);
        out += " x ";
        append_type_unlocked(out, a->element_type);
        out += " ]";
        return;
    }
    const auto& s = std::get<StructType>(t);
    if (s.packed) out += "packed ";
    out.push_back('{');
    for (std::size_t i = 0; i < s.element_types.size(); ++i) {
        if (i) out += ", ";
        append_type_unlocked(out, s.element_types[i]);
    }
    out.push_back('}');
}

void TypeRegistry::insert_decoded(Typeref r, AnyType ty) {
    auto existing = types_.find(r);
    if (existing != types_.end()) {
        auto& list = inverse_lookup_[content_hash(existing->second)];
        list.erase(std::remove(list.begin(), list.end(), r), list.end());
        existing->second = std::move(ty);
    } else {
        existing = types_.emplace(r, std::move(ty)).first;
    }
    inverse_lookup_[content_hash(existing->second)].push_back(r);
}

void TypeRegistry::reseed_clock() {
    clock_.reset(static_cast<std::uint16_t>(random_u64()));
}

bool TypeRegistry::same_types(const TypeRegistry& other) const {
    if (this == &other) return true;
    SharedGuard a(types_lock_);
    SharedGuard b(other.types_lock_);
    return types_ == other.types_;
}

}  // namespace nkinstr
