#pragma once
// SipHash-1-3 (one compression round, three finalisation rounds).

#include <cstddef>
#include <cstdint>

namespace nkinstr {

std::uint64_t siphash13(const void* data, std::size_t size, std::uint64_t k0 = 0, std::uint64_t k1 = 0);

}  // namespace nkinstr
