#pragma once
// 16-byte UUIDs: byte-wise ordering, canonical text form, random (v4) and
// time-ordered (v6) generation.

#include <array>
#include <atomic>
#include <bit>
#include <compare>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nkinstr {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Byte-wise order. Uuids key the hottest maps (types, functions), so they
    // compare as two big-endian words instead of through a memcmp call.
    friend std::strong_ordering operator<=>(const Uuid& a, const Uuid& b) {
        const std::uint64_t a0 = a.word(0), b0 = b.word(0);
        if (a0 != b0) return a0 <=> b0;
        return a.word(1) <=> b.word(1);
    }
    friend bool operator==(const Uuid& a, const Uuid& b) {
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a.bytes.data(), 8);
        std::memcpy(&a1, a.bytes.data() + 8, 8);
        std::memcpy(&b0, b.bytes.data(), 8);
        std::memcpy(&b1, b.bytes.data() + 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }

    // Canonical lowercase 8-4-4-4-12 form.
    std::string to_string() const;
    void append_to(std::string& out) const;
    static std::optional<Uuid> parse(std::string_view text);

    static Uuid new_v4();
    // Version 6 (reordered Gregorian time) from the current system time.
    static Uuid new_v6(std::uint16_t clock_sequence, const std::array<std::uint8_t, 6>& node);
    static Uuid from_bytes(const std::uint8_t* p) {
        Uuid u;
        std::memcpy(u.bytes.data(), p, 16);
        return u;
    }

private:
    // Bytes [8i, 8i+8) as a big-endian number, so word order is byte order.
    std::uint64_t word(int i) const {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + 8 * i, 8);
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        return w;
    }
};

// A 16-bit wrapping counter that feeds the clock sequence of v6 UUIDs.
class UuidClock {
public:
    explicit UuidClock(std::uint16_t start = 0) : value_(start) {}
    std::uint16_t next() { return value_.fetch_add(1, std::memory_order_relaxed); }
    std::uint16_t current() const { return value_.load(std::memory_order_relaxed); }
    void reset(std::uint16_t value) { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<std::uint16_t> value_;
};

// Node bytes used for engine-generated UUIDs: a 32-bit node id little-endian, then two zeros.
std::array<std::uint8_t, 6> node_bytes_from_id(std::uint32_t node_id);

std::uint64_t random_u64();

struct UuidHash {
    std::size_t operator()(const Uuid& u) const noexcept {
        std::uint64_t a, b;
        std::memcpy(&a, u.bytes.data(), 8);
        std::memcpy(&b, u.bytes.data() + 8, 8);
        return std::hash<std::uint64_t>{}(a ^ (b * 0x9E3779B97F4A7C15ull));
    }
};

}  // namespace nkinstr
