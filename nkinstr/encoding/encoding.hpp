#pragma once
// The compact positional byte encoding of modules and type registries.
//
// Encoders write through a ByteWriter (a fixed buffer flushed to a ByteSink in
// large chunks); decoders read through a ByteReader (a window onto a chunk of a
// ByteSource, refilled when it runs dry). The per-field paths are inline and
// touch no virtual function: the sink and the source are only called once per
// buffer-full.
//
// Decoders treat every byte as untrusted. A ByteReader carries a sticky error:
// the first failure is kept, the reader stops reading, and every later read
// yields zeros, so decoders check `ok()` only where they loop over counts.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nkinstr/modules/module.hpp"
#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/result.hpp"

namespace nkinstr {

// ---------------------------------------------------------------------------
// Sinks and the buffered writer

// Where encoders' bytes go, in chunks. A sink that can fail (a compressor)
// keeps its own error; encoding itself never fails.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t size) = 0;
};

class VectorSink final : public ByteSink {
public:
    void write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    std::vector<std::uint8_t> bytes;
};

class ByteWriter {
public:
    static constexpr std::size_t kDefaultBufferSize = 64 * 1024;

    explicit ByteWriter(ByteSink& sink, std::size_t buffer_size = kDefaultBufferSize)
        : sink_(sink), buf_(new std::uint8_t[buffer_size]), capacity_(buffer_size) {}
    ~ByteWriter() { flush(); }
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    void u8(std::uint8_t v) {
        if (used_ == capacity_) [[unlikely]]
            flush();
        buf_[used_++] = v;
    }
    void u16(std::uint16_t v) { fixed(v); }
    void u32(std::uint32_t v) { fixed(v); }
    void u64(std::uint64_t v) { fixed(v); }
    void i64(std::int64_t v) { fixed(static_cast<std::uint64_t>(v)); }
    void bytes(const void* data, std::size_t size) {
        if (capacity_ - used_ >= size) [[likely]] {
            std::memcpy(buf_.get() + used_, data, size);
            used_ += size;
        } else {
            bytes_slow(data, size);
        }
    }
    // Hands the buffered bytes to the sink.
    void flush();

private:
    template <class U>
    void fixed(U v) {
        if constexpr (std::endian::native == std::endian::big) v = byteswap(v);
        bytes(&v, sizeof v);
    }
    template <class U>
    static U byteswap(U v) {
        U r = 0;
        for (std::size_t i = 0; i < sizeof(U); ++i) r = U((r << 8) | ((v >> (8 * i)) & 0xFF));
        return r;
    }
    void bytes_slow(const void* data, std::size_t size);

    ByteSink& sink_;
    std::unique_ptr<std::uint8_t[]> buf_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Sources and the buffered reader

// Where decoders' bytes come from. `next_chunk` returns the next run of bytes,
// valid until the following call; an empty run marks the end of the data.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual Result<std::span<const std::uint8_t>, std::string> next_chunk() = 0;
};

// The whole input at once (no copy).
class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> data) : data_(data) {}
    Result<std::span<const std::uint8_t>, std::string> next_chunk() override {
        auto chunk = data_;
        data_ = {};
        return chunk;
    }

private:
    std::span<const std::uint8_t> data_;
};

// Bound on the memory a decoder may fill with fixed-size records. A record of
// a few input bytes can take a hundred bytes in memory, so the input size
// alone does not bound memory: this does. A module of a million instructions
// takes about a tenth of it.
inline constexpr std::uint64_t kMaxDecodedMemory = std::uint64_t(2) << 30;  // 2 GiB

class ByteReader {
public:
    // Reads straight from memory.
    explicit ByteReader(std::span<const std::uint8_t> data)
        : cur_(data.data()), end_(data.data() + data.size()), chunk_start_(data.data()) {}
    // Reads from a source, chunk by chunk.
    explicit ByteReader(ByteSource& source) : source_(&source) {}
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    bool ok() const { return !failed_; }
    const std::string& error() const { return error_; }
    // Records the first failure and stops reading.
    void fail(std::string message);
    // Bytes consumed so far.
    std::uint64_t position() const { return consumed_ + std::uint64_t(cur_ - chunk_start_); }

    std::uint8_t u8() {
        if (cur_ != end_) [[likely]]
            return *cur_++;
        std::uint8_t v = 0;
        read_slow(&v, 1);
        return v;
    }
    std::uint16_t u16() { return fixed<std::uint16_t>(); }
    std::uint32_t u32() { return fixed<std::uint32_t>(); }
    std::uint64_t u64() { return fixed<std::uint64_t>(); }
    std::int64_t i64() { return static_cast<std::int64_t>(fixed<std::uint64_t>()); }
    void bytes(void* out, std::size_t size) {
        if (std::size_t(end_ - cur_) >= size) [[likely]] {
            std::memcpy(out, cur_, size);
            cur_ += size;
        } else {
            read_slow(out, size);
        }
    }
    // Appends `size` bytes as they arrive (never reserves ahead of the data).
    void append_to(std::string& out, std::size_t size);
    void append_to(std::vector<std::uint8_t>& out, std::size_t size);

    // Accounts `bytes` of decoded memory against kMaxDecodedMemory.
    bool charge(std::uint64_t bytes) {
        if (bytes <= budget_) [[likely]] {
            budget_ -= bytes;
            return true;
        }
        fail_budget();
        return false;
    }
    void set_memory_budget(std::uint64_t bytes) { budget_ = limit_ = bytes; }

private:
    template <class U>
    U fixed() {
        U v = 0;
        if (std::size_t(end_ - cur_) >= sizeof(U)) [[likely]] {
            std::memcpy(&v, cur_, sizeof(U));
            cur_ += sizeof(U);
        } else {
            read_slow(&v, sizeof(U));
        }
        if constexpr (std::endian::native == std::endian::big) {
            U r = 0;
            for (std::size_t i = 0; i < sizeof(U); ++i) r = U((r << 8) | ((v >> (8 * i)) & 0xFF));
            v = r;
        }
        return v;
    }
    // Copies what is buffered, refilling across chunk ends; zero-fills and
    // fails with the end-of-input message when the data runs out.
    void read_slow(void* out, std::size_t size);
    template <class Out>
    void append_chunks(Out& out, std::size_t size);
    bool refill();
    void fail_budget();

    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    const std::uint8_t* chunk_start_ = nullptr;
    std::uint64_t consumed_ = 0;  // bytes of the chunks before the current one
    ByteSource* source_ = nullptr;
    std::uint64_t budget_ = kMaxDecodedMemory;
    std::uint64_t limit_ = kMaxDecodedMemory;
    bool failed_ = false;
    std::string error_;
};

// ---------------------------------------------------------------------------
// Fixed messages

inline constexpr std::string_view kUnexpectedEnd = "Unexpected length of input";
std::string invalid_option_message(std::uint8_t flag);  // "Invalid Option representation: {}. ..."
std::string invalid_bool_message(std::uint8_t byte);    // "Invalid bool representation: {}"
std::string invalid_tag_message(std::uint64_t tag);     // "Unexpected variant tag: {}"

// Strict UTF-8 check. The message on failure is "invalid utf-8 sequence of
// {n} bytes from index {i}" or "incomplete utf-8 byte sequence from index {i}",
// where i is the length of the longest valid prefix.
std::optional<std::string> utf8_error(std::string_view bytes);

// ---------------------------------------------------------------------------
// Record encoders. Each writes exactly the record's bytes.

void encode(ByteWriter& w, const BigInt& v);  // minimal two's complement, least significant byte first
void encode(ByteWriter& w, const Decimal& v);
void encode(ByteWriter& w, const std::string& text);
void encode(ByteWriter& w, const IType& t);
void encode(ByteWriter& w, FType t);
void encode(ByteWriter& w, const ExtType& t);
void encode(ByteWriter& w, const VcSize& s);
void encode(ByteWriter& w, const PrimaryBasicType& t);
void encode(ByteWriter& w, const PrimaryType& t);
void encode(ByteWriter& w, const ArrayType& t);
void encode(ByteWriter& w, const StructType& t);
void encode(ByteWriter& w, const AnyType& t);
void encode(ByteWriter& w, const IConst& c);
void encode(ByteWriter& w, const FConst& c);
void encode(ByteWriter& w, const FunctionPointer& p);
void encode(ByteWriter& w, const AnyConst& c);
void encode(ByteWriter& w, const Operand& o);
void encode(ByteWriter& w, const NkInstr& i);
void encode(ByteWriter& w, const NkTerminator& t);
void encode(ByteWriter& w, const CallingConvention& c);
void encode(ByteWriter& w, Visibility v);
void encode(ByteWriter& w, const BasicBlock& b);
void encode(ByteWriter& w, const Function& f);
void encode(ByteWriter& w, const ExternalFunction& f);
void encode(ByteWriter& w, const Module& m);
// The registry is read under its shared lock.
void encode(ByteWriter& w, const TypeRegistry& r);
void encode(ByteWriter& w, const std::vector<std::string>& texts);

// ---------------------------------------------------------------------------
// Record decoders. Each reads exactly the record's bytes into `out`; on a
// malformed value the reader holds the message and `out` is unspecified.

void decode(ByteReader& r, BigInt& out);
void decode(ByteReader& r, Decimal& out);
void decode(ByteReader& r, std::string& out);
void decode(ByteReader& r, IType& out);
void decode(ByteReader& r, FType& out);
void decode(ByteReader& r, ExtType& out);
void decode(ByteReader& r, VcSize& out);
void decode(ByteReader& r, PrimaryBasicType& out);
void decode(ByteReader& r, PrimaryType& out);
void decode(ByteReader& r, ArrayType& out);
void decode(ByteReader& r, StructType& out);
void decode(ByteReader& r, AnyType& out);
void decode(ByteReader& r, IConst& out);
void decode(ByteReader& r, FConst& out);
void decode(ByteReader& r, FunctionPointer& out);
void decode(ByteReader& r, AnyConst& out);
void decode(ByteReader& r, Operand& out);
void decode(ByteReader& r, NkInstr& out);
void decode(ByteReader& r, NkTerminator& out);
void decode(ByteReader& r, CallingConvention& out);
void decode(ByteReader& r, Visibility& out);
void decode(ByteReader& r, BasicBlock& out);
void decode(ByteReader& r, Function& out);
void decode(ByteReader& r, ExternalFunction& out);
void decode(ByteReader& r, Module& out);
// Inserts entry by entry into `out` (meant to be a fresh registry), then
// reseeds its clock.
void decode(ByteReader& r, TypeRegistry& out);
void decode(ByteReader& r, std::vector<std::string>& out);

// Decodes one value of type T, or the reader's message.
template <class T>
Result<T, std::string> decode_value(ByteReader& r) {
    T value{};
    decode(r, value);
    if (!r.ok()) return fail(r.error());
    return value;
}

// ---------------------------------------------------------------------------
// Whole-value conveniences.

void encode_module(ByteSink& sink, const Module& module);
void encode_registry(ByteSink& sink, const TypeRegistry& registry);
void encode_text_list(ByteSink& sink, const std::vector<std::string>& texts);

Result<Module, std::string> decode_module(ByteReader& r);
Result<TypeRegistry, std::string> decode_registry(ByteReader& r);
Result<std::vector<std::string>, std::string> decode_text_list(ByteReader& r);

}  // namespace nkinstr
