#pragma once
// Exact constants: arbitrary-precision integers and decimals.

#include <cstdint>
#include <string>

#include <boost/multiprecision/cpp_int.hpp>

#include "nkinstr/types/primary.hpp"

namespace nkinstr {

using BigInt = boost::multiprecision::cpp_int;

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
