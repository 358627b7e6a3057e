#include "nkinstr/utils/uuid.hpp"

#include <chrono>
#include <random>

namespace nkinstr {

namespace {
constexpr char kHex[] = "0123456789abcdef";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::mt19937_64& thread_rng() {
    thread_local std::mt19937_64 rng{[] {
        std::random_device rd;
        return (std::uint64_t(rd()) << 32) ^ rd();
    }()};
    return rng;
}

// 100-nanosecond intervals between 1582-10-15 and 1970-01-01.
constexpr std::uint64_t kGregorianOffset = 0x01B21DD213814000ull;
}  // namespace

std::uint64_t random_u64() { return thread_rng()(); }

void Uuid::append_to(std::string& out) const {
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 0xF]);
    }
}

std::string Uuid::to_string() const {
    std::string s;
    s.reserve(36);
    append_to(s);
    return s;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Uuid u;
    std::size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            if (text[pos++] != '-') return std::nullopt;
        }
        int hi = hex_value(text[pos++]);
        int lo = hex_value(text[pos++]);
        if (hi < 0 || lo < 0) return std::nullopt;
        u.bytes[i] = std::uint8_t(hi << 4 | lo);
    }
    return u;
}

Uuid Uuid::new_v4() {
    Uuid u;
    std::uint64_t a = random_u64(), b = random_u64();
    std::memcpy(u.bytes.data(), &a, 8);
    std::memcpy(u.bytes.data() + 8, &b, 8);
    u.bytes[6] = std::uint8_t((u.bytes[6] & 0x0F) | 0x40);
    u.bytes[8] = std::uint8_t((u.bytes[8] & 0x3F) | 0x80);
    return u;
}

Uuid Uuid::new_v6(std::uint16_t clock_sequence, const std::array<std::uint8_t, 6>& node) {
    using namespace std::chrono;
    auto since_epoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    std::uint64_t ts = (std::uint64_t(since_epoch) / 100 + kGregorianOffset) & 0x0FFFFFFFFFFFFFFFull;
    Uuid u;
    std::uint32_t time_high = std::uint32_t(ts >> 28);
    std::uint16_t time_mid = std::uint16_t((ts >> 12) & 0xFFFF);
    std::uint16_t time_low = std::uint16_t(ts & 0x0FFF);
    u.bytes[0] = std::uint8_t(time_high >> 24);
    u.bytes[1] = std::uint8_t(time_high >> 16);
    u.bytes[2] = std::uint8_t(time_high >> 8);
    u.bytes[3] = std::uint8_t(time_high);
    u.bytes[4] = std::uint8_t(time_mid >> 8);
    u.bytes[5] = std::uint8_t(time_mid);
    u.bytes[6] = std::uint8_t(0x60 | (time_low >> 8));
    u.bytes[7] = std::uint8_t(time_low);
    std::uint16_t seq = clock_sequence & 0x3FFF;
    u.bytes[8] = std::uint8_t(0x80 | (seq >> 8));
    u.bytes[9] = std::uint8_t(seq);
    std::memcpy(u.bytes.data() + 10, node.data(), 6);
    return u;
}

std::array<std::uint8_t, 6> node_bytes_from_id(std::uint32_t node_id) {
    return {std::uint8_t(node_id), std::uint8_t(node_id >> 8), std::uint8_t(node_id >> 16),
            std::uint8_t(node_id >> 24), 0, 0};
}

}  // namespace nkinstr
