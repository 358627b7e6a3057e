#pragma once
// The compact positional byte encoding of modules and type registries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nkinstr/modules/module.hpp"
#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/result.hpp"

namespace nkinstr {

// Where encoders write. Implementations may stream (a compressor) or collect.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t size) = 0;
};

// Where decoders read from. `read` returns how many bytes it produced (fewer
// than asked only at the end of the data); a source may fail with a message.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual Result<std::size_t, std::string> read(void* data, std::size_t size) = 0;
};

class VectorSink final : public ByteSink {
public:
    void write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    std::vector<std::uint8_t> bytes;
};

class SpanSource final : public ByteSource {
public:
    SpanSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    Result<std::size_t, std::string> read(void* out, std::size_t size) override;
    std::size_t position() const { return pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void encode_module(ByteSink& sink, const Module& module);
void encode_registry(ByteSink& sink, const TypeRegistry& registry);
void encode_text_list(ByteSink& sink, const std::vector<std::string>& texts);

// Decoding fails with the byte-level message ("Unexpected length of input",
// "Unexpected variant tag: 40", ...). It reads exactly the value's bytes.
Result<Module, std::string> decode_module(ByteSource& source);
Result<TypeRegistry, std::string> decode_registry(ByteSource& source);
Result<std::vector<std::string>, std::string> decode_text_list(ByteSource& source);

}  // namespace nkinstr
