#pragma once
// A value-or-error result: every fallible operation returns exactly one of the two.

#include <cassert>
#include <type_traits>
#include <utility>
#include <optional>
#include <variant>

namespace nkinstr {

template <class E>
struct Unexpected {
    E error;
};
template <class E>
Unexpected<std::decay_t<E>> fail(E&& e) {
    return {std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class U>
    Result(Unexpected<U> err) : state_(std::in_place_index<1>, std::move(err.error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(state_); }
    const T& value() const& { assert(ok()); return std::get<0>(state_); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    E& error() & { assert(!ok()); return std::get<1>(state_); }
    const E& error() const& { assert(!ok()); return std::get<1>(state_); }
    E&& error() && { assert(!ok()); return std::get<1>(std::move(state_)); }

private:
    std::variant<T, E> state_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    template <class U>
    Result(Unexpected<U> err) : error_(std::in_place, std::move(err.error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    E& error() & { assert(!ok()); return *error_; }
    const E& error() const& { assert(!ok()); return *error_; }
    E&& error() && { assert(!ok()); return std::move(*error_); }

private:
    std::optional<E> error_;
};

}  // namespace nkinstr

// Propagates the error of an expression returning Result<void, E>.
#define NK_TRY(expr)                                 \
    do {                                             \
        auto nk_try_result_ = (expr);                \
        if (!nk_try_result_.ok())                    \
            return ::nkinstr::fail(std::move(nk_try_result_).error()); \
    } while (0)
