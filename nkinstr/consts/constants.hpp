#pragma once
// Exact constants: arbitrary-precision integers and decimals.

#include <compare>
#include <concepts>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>

#include <boost/multiprecision/cpp_int.hpp>

#include "nkinstr/types/primary.hpp"

namespace nkinstr {

// An exact integer of any size. Nearly every constant in real programs fits a
// machine word, so the value lives inline and only the rare wider one is kept
// on the heap: 16 bytes instead of the 32 of a bare cpp_int, which halves the
// size of operands and instructions that embed it.
class BigInt {
public:
    using Wide = boost::multiprecision::cpp_int;

    BigInt() = default;
    // Built-in integers up to 64 bits convert losslessly; wider ones go through Wide.
    template <std::integral T>
        requires(sizeof(T) <= sizeof(std::int64_t))
    BigInt(T v) {  // NOLINT(google-explicit-constructor)
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                wide_ = std::make_unique<Wide>(v);
                return;
            }
        }
        small_ = static_cast<std::int64_t>(v);
    }
    BigInt(const Wide& v) { assign(v); }  // NOLINT(google-explicit-constructor)
    explicit BigInt(const char* text) { assign(Wide(text)); }

    BigInt(const BigInt& o) : small_(o.small_), wide_(o.wide_ ? std::make_unique<Wide>(*o.wide_) : nullptr) {}
    BigInt(BigInt&&) noexcept = default;
    BigInt& operator=(const BigInt& o) {
        if (this != &o) *this = BigInt(o);
        return *this;
    }
    BigInt& operator=(BigInt&&) noexcept = default;
    ~BigInt() = default;

    // True when the value fits an int64 (then `small()` is the value).
    bool is_small() const { return !wide_; }
    std::int64_t small() const { return small_; }
    Wide to_wide() const { return wide_ ? *wide_ : Wide(small_); }

    int sign() const {
        if (wide_) return wide_->sign();
        return (small_ > 0) - (small_ < 0);
    }
    std::string str() const { return wide_ ? wide_->str() : std::to_string(small_); }
    template <class T>
    T convert_to() const {
        return wide_ ? wide_->template convert_to<T>() : static_cast<T>(small_);
    }

    BigInt operator-() const {
        if (!wide_ && small_ != std::numeric_limits<std::int64_t>::min()) return BigInt(-small_);
        return BigInt(Wide(-to_wide()));
    }

    friend bool operator==(const BigInt& a, const BigInt& b) {
        // Values are kept normalised: a wide value never fits an int64.
        if (!a.wide_ || !b.wide_) return !a.wide_ && !b.wide_ && a.small_ == b.small_;
        return *a.wide_ == *b.wide_;
    }
    friend std::strong_ordering operator<=>(const BigInt& a, const BigInt& b) {
        if (!a.wide_ && !b.wide_) return a.small_ <=> b.small_;
        const int c = a.to_wide().compare(b.to_wide());
        return c < 0 ? std::strong_ordering::less : c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
    }
    friend std::ostream& operator<<(std::ostream& os, const BigInt& v) { return os << v.str(); }

private:
    void assign(const Wide& v) {
        if (v >= std::numeric_limits<std::int64_t>::min() && v <= std::numeric_limits<std::int64_t>::max()) {
            small_ = v.convert_to<std::int64_t>();
        } else {
            wide_ = std::make_unique<Wide>(v);
        }
    }

    std::int64_t small_ = 0;
    std::unique_ptr<Wide> wide_;  // set only for values outside int64
};

// unscaled * 10^(-scale); 1.5 is (15, 1). Kept exactly as written: 1.50 != 1.5.
struct Decimal {
    BigInt unscaled;
    std::int64_t scale = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// The standard text form: plain digits with a decimal point where the scale
// puts it, exponent notation when that would need very many zeros.
void append_text(std::string& out, const Decimal& d);
std::string to_string(const Decimal& d);

struct IConst {
    IType ty;
    BigInt value;

    static IConst from_u64(std::uint64_t v) { return IConst{IType{64}, BigInt(v)}; }
    friend bool operator==(const IConst&, const IConst&) = default;
};

struct FConst {
    FType ty = FType::Fp32;
    Decimal value;
    friend bool operator==(const FConst&, const FConst&) = default;
};

// "i32 -1", "fp64 1.5"
void append_text(std::string& out, const IConst& c);
void append_text(std::string& out, const FConst& c);

}  // namespace nkinstr
