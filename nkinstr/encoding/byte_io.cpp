// The buffered writer and reader, and the byte-level checks shared by the decoders.

#include <algorithm>

#include <fmt/format.h>

#include "nkinstr/encoding/encoding.hpp"

namespace nkinstr {

// ---- writer ----

void ByteWriter::flush() {
    if (used_ == 0) return;
    sink_.write(buf_.get(), used_);
    used_ = 0;
}

void ByteWriter::bytes_slow(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (used_ == capacity_) flush();
        const std::size_t n = std::min(size, capacity_ - used_);
        std::memcpy(buf_.get() + used_, p, n);
        used_ += n;
        p += n;
        size -= n;
    }
}

// ---- reader ----

void ByteReader::fail(std::string message) {
    if (failed_) return;
    failed_ = true;
    error_ = std::move(message);
    consumed_ += std::uint64_t(cur_ - chunk_start_);
    cur_ = end_ = chunk_start_ = nullptr;
}

void ByteReader::fail_budget() {
    fail(fmt::format("Decoded data exceeds the memory limit of {} bytes", limit_));
}

bool ByteReader::refill() {
    if (failed_ || source_ == nullptr) return false;
    consumed_ += std::uint64_t(end_ - chunk_start_);
    cur_ = end_ = chunk_start_ = nullptr;
    for (;;) {
        auto chunk = source_->next_chunk();
        if (!chunk.ok()) {
            fail(std::move(chunk).error());
            return false;
        }
        if (chunk->empty()) {
            source_ = nullptr;  // the end stays the end
            return false;
        }
        chunk_start_ = cur_ = chunk->data();
        end_ = cur_ + chunk->size();
        return true;
    }
}

void ByteReader::read_slow(void* out, std::size_t size) {
    auto* dst = static_cast<std::uint8_t*>(out);
    while (size > 0) {
        if (cur_ == end_ && !refill()) {
            std::memset(dst, 0, size);
            fail(std::string(kUnexpectedEnd));
            return;
        }
        const std::size_t n = std::min(size, std::size_t(end_ - cur_));
        std::memcpy(dst, cur_, n);
        cur_ += n;
        dst += n;
        size -= n;
    }
}

template <class Out>
void ByteReader::append_chunks(Out& out, std::size_t size) {
    while (size > 0) {
        if (cur_ == end_ && !refill()) {
            fail(std::string(kUnexpectedEnd));
            return;
        }
        const std::size_t n = std::min(size, std::size_t(end_ - cur_));
        out.insert(out.end(), cur_, cur_ + n);
        cur_ += n;
        size -= n;
    }
}

void ByteReader::append_to(std::string& out, std::size_t size) { append_chunks(out, size); }
void ByteReader::append_to(std::vector<std::uint8_t>& out, std::size_t size) { append_chunks(out, size); }

// ---- messages ----

std::string invalid_option_message(std::uint8_t flag) {
    return fmt::format("Invalid Option representation: {}. The first byte must be 0 or 1", flag);
}

std::string invalid_bool_message(std::uint8_t byte) { return fmt::format("Invalid bool representation: {}", byte); }

std::string invalid_tag_message(std::uint64_t tag) { return fmt::format("Unexpected variant tag: {}", tag); }

// ---- UTF-8 ----

namespace {

bool is_continuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Width of a sequence from its first byte; 0 for bytes that cannot start one.
int sequence_width(std::uint8_t b) {
    if (b < 0x80) return 1;
    if (b < 0xC2) return 0;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    if (b < 0xF5) return 4;
    return 0;
}

// Whether the second byte is allowed after `first` (excludes overlong forms,
// surrogates and code points beyond U+10FFFF).
bool valid_second(std::uint8_t first, std::uint8_t second) {
    switch (first) {
        case 0xE0: return second >= 0xA0 && second <= 0xBF;
        case 0xED: return second >= 0x80 && second <= 0x9F;
        case 0xF0: return second >= 0x90 && second <= 0xBF;
        case 0xF4: return second >= 0x80 && second <= 0x8F;
        default: return is_continuation(second);
    }
}

std::string invalid_sequence(std::size_t length, std::size_t index) {
    return fmt::format("invalid utf-8 sequence of {} bytes from index {}", length, index);
}

std::string incomplete_sequence(std::size_t index) {
    return fmt::format("incomplete utf-8 byte sequence from index {}", index);
}

}  // namespace

std::optional<std::string> utf8_error(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII runs, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        const std::uint8_t first = s[i];
        if (first < 0x80) {
            ++i;
            continue;
        }
        const int width = sequence_width(first);
        if (width == 0) return invalid_sequence(1, i);
        if (i + 1 >= n) return incomplete_sequence(i);
        if (!valid_second(first, s[i + 1])) return invalid_sequence(1, i);
        for (int k = 2; k < width; ++k) {
            if (i + k >= n) return incomplete_sequence(i);
            if (!is_continuation(s[i + k])) return invalid_sequence(std::size_t(k), i);
        }
        i += std::size_t(width);
    }
    return std::nullopt;
}

}  // namespace nkinstr
