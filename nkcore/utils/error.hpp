#pragma once
// The engine's error type. Its display text reaches Python callers unchanged,
// after a fixed prefix; IR errors are wrapped without any change of text.

#include <string>
#include <variant>

#include "nkinstr/utils/error.hpp"
#include "nkinstr/utils/result.hpp"

namespace nkcore {

namespace nkerrors {
struct Io { std::string cause; };  // the operating system's (or reader's) message
struct ManifestParse { std::string error; std::string path; };
struct Unknown { std::string message; };
struct PluginNotFound { std::string name; };
struct Utf8 { std::string error; };
struct Ir { nkinstr::Error error; };
struct NotFound { std::string kind; std::string key; };
struct Duplicated { std::string kind; std::string key; };
}  // namespace nkerrors

class NkError {
public:
    // Index = variant number.
    using Variant = std::variant<nkerrors::Io, nkerrors::ManifestParse, nkerrors::Unknown, nkerrors::PluginNotFound,
                                 nkerrors::Utf8, nkerrors::Ir, nkerrors::NotFound, nkerrors::Duplicated>;

    template <class V, class = std::enable_if_t<!std::is_same_v<std::decay_t<V>, NkError>>>
    NkError(V&& v) : v_(std::forward<V>(v)) {}
    NkError(nkinstr::Error e) : v_(nkerrors::Ir{std::move(e)}) {}

    const Variant& variant() const { return v_; }
    std::size_t index() const { return v_.index(); }
    template <class V>
    const V* get_if() const { return std::get_if<V>(&v_); }

    // The display text (no trailing full stop, no line break).
    std::string message() const;

private:
    Variant v_;
};

template <class T>
using NkResult = nkinstr::Result<T, NkError>;
using NkStatus = nkinstr::Result<void, NkError>;

}  // namespace nkcore
