#include "nkinstr/utils/siphash.hpp"

#include <cstring>

namespace nkinstr {

namespace {
inline std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void round() {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }
    void absorb(std::uint64_t m) {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};
}  // namespace

std::uint64_t siphash13(const void* data, std::size_t size, std::uint64_t k0, std::uint64_t k1) {
    SipState s{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
               k1 ^ 0x7465646279746573ull};
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t full = size & ~std::size_t(7);
    for (std::size_t i = 0; i < full; i += 8) {
        std::uint64_t m;
        std::memcpy(&m, p + i, 8);  // little-endian hosts only
        s.absorb(m);
    }
    std::uint64_t last = std::uint64_t(size & 0xFF) << 56;
    for (std::size_t i = 0; i < (size & 7); ++i) last |= std::uint64_t(p[full + i]) << (8 * i);
    s.absorb(last);
    s.v2 ^= 0xFF;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace nkinstr
