#include "nkcore/compiler/container.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include <zstd.h>

#include "nkinstr/encoding/encoding.hpp"

namespace nkcore {

namespace {

constexpr const char* kLogModule = "nkcore::compiler";
constexpr int kCompressionLevel = 3;
// Encoders write into the compressor through a buffer of this size.
constexpr std::size_t kCompressBufferSize = 32 * 1024;

// A compressor appending one zstd frame to a byte vector. Keeps the first
// zstd error; writes after a failure are dropped.
class ZstdSink final : public nkinstr::ByteSink {
public:
    explicit ZstdSink(std::vector<std::uint8_t>& out)
        : out_(out), cctx_(ZSTD_createCCtx()), stage_(ZSTD_CStreamOutSize()) {
        if (!cctx_) {
            error_ = "cannot create a zstd compression context";
            return;
        }
        check(ZSTD_CCtx_setParameter(cctx_.get(), ZSTD_c_compressionLevel, kCompressionLevel));
    }

    void write(const void* data, std::size_t size) override {
        ZSTD_inBuffer in{data, size, 0};
        while (ok() && in.pos < in.size) step(in, ZSTD_e_continue);
    }

    // Flushes what is buffered and writes the frame's end.
    void finish() {
        ZSTD_inBuffer in{nullptr, 0, 0};
        while (ok() && step(in, ZSTD_e_end) != 0) {
        }
    }

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

private:
    // One compression call; returns what zstd still has to flush.
    std::size_t step(ZSTD_inBuffer& in, ZSTD_EndDirective mode) {
        ZSTD_outBuffer stage{stage_.data(), stage_.size(), 0};
        const std::size_t rest = ZSTD_compressStream2(cctx_.get(), &stage, &in, mode);
        if (!check(rest)) return 0;
        out_.insert(out_.end(), stage_.begin(), stage_.begin() + stage.pos);
        return rest;
    }
    bool check(std::size_t code) {
        if (!ZSTD_isError(code)) return true;
        if (ok()) error_ = ZSTD_getErrorName(code);
        return false;
    }

    struct FreeCCtx {
        void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
    };
    std::vector<std::uint8_t>& out_;
    std::unique_ptr<ZSTD_CCtx, FreeCCtx> cctx_;
    std::vector<std::uint8_t> stage_;
    std::string error_;
};

// Decompresses the frame chunk by chunk as the decoder asks for data, so a
// malformed payload stops decompression early and memory stays bounded by
// one output chunk plus what the decoder keeps.
class ZstdSource final : public nkinstr::ByteSource {
public:
    ZstdSource(std::span<const std::uint8_t> frame, std::uint64_t max_bytes)
        : dctx_(ZSTD_createDCtx()), in_{frame.data(), frame.size(), 0}, out_(ZSTD_DStreamOutSize()),
          max_bytes_(max_bytes) {}

    nkinstr::Result<std::span<const std::uint8_t>, std::string> next_chunk() override {
        if (!dctx_) return nkinstr::fail(std::string("cannot create a zstd decompression context"));
        for (;;) {
            ZSTD_outBuffer out{out_.data(), out_.size(), 0};
            const std::size_t code = ZSTD_decompressStream(dctx_.get(), &out, &in_);
            if (ZSTD_isError(code)) return nkinstr::fail(std::string(ZSTD_getErrorName(code)));
            if (out.pos > 0) {
                produced_ += out.pos;
                if (produced_ > max_bytes_)
                    return nkinstr::fail(fmt::format(
                        "Decompressed compiled module payload exceeds the limit of {} bytes", max_bytes_));
                return std::span<const std::uint8_t>(out_.data(), out.pos);
            }
            // Nothing came out and nothing is left to feed: the data ends
            // here (a cut frame reads as a truncated payload).
            if (in_.pos == in_.size) return std::span<const std::uint8_t>{};
        }
    }

private:
    struct FreeDCtx {
        void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
    };
    std::unique_ptr<ZSTD_DCtx, FreeDCtx> dctx_;
    ZSTD_inBuffer in_;
    std::vector<std::uint8_t> out_;
    std::uint64_t max_bytes_;
    std::uint64_t produced_ = 0;
};

NkError failure(const LogTarget& log, std::string_view context, std::string message) {
    NK_LOG(log, Error, kLogModule, "{}: {}", context, message);
    return NkError(nkerrors::Unknown{std::move(message)});
}

constexpr std::string_view kReadFailure = "Failed to read compiled module storage header";
constexpr std::string_view kWriteFailure = "Failed to serialize compiled module storage header";

}  // namespace

NkResult<std::vector<std::uint8_t>> encode(const CompiledModuleStorage& storage, const semver::Version& engine_version,
                                           const LogTarget& log) {
    NK_LOG(log, Trace, kLogModule, "Serializing compiled module storage (module has {} functions)",
           storage.module.functions.size());
    std::vector<std::uint8_t> out(std::begin(kContainerMagic), std::end(kContainerMagic));
    const std::string requirement = semver::VersionReq::exact_text(engine_version);
    out.insert(out.end(), requirement.begin(), requirement.end());
    out.push_back(0);

    ZstdSink sink(out);
    if (sink.ok()) {
        nkinstr::ByteWriter writer(sink, kCompressBufferSize);
        nkinstr::encode(writer, storage.source_names);
        nkinstr::encode(writer, storage.module);
        nkinstr::encode(writer, storage.type_registry);
        writer.flush();
        sink.finish();
    }
    if (!sink.ok()) return nkinstr::fail(failure(log, kWriteFailure, sink.error()));
    return out;
}

NkResult<CompiledModuleStorage> decode(std::span<const std::uint8_t> bytes, const semver::Version& engine_version,
                                       const LogTarget& log, std::uint64_t max_payload_bytes) {
    NK_LOG(log, Trace, kLogModule, "Deserializing compiled module storage ({} bytes)", bytes.size());
    auto refuse = [&](std::string message) { return nkinstr::fail(failure(log, kReadFailure, std::move(message))); };

    constexpr std::size_t kMagicSize = sizeof kContainerMagic;
    if (bytes.size() < kMagicSize) return refuse("failed to fill whole buffer");
    if (std::memcmp(bytes.data(), kContainerMagic, kMagicSize) != 0)
        return refuse("Invalid magic bytes in compiled module storage");

    const auto after_magic = bytes.subspan(kMagicSize);
    const auto terminator = std::find(after_magic.begin(), after_magic.end(), std::uint8_t(0));
    if (terminator == after_magic.end()) return refuse("failed to fill whole buffer");
    const std::size_t requirement_size = std::size_t(terminator - after_magic.begin());
    const std::string_view requirement_bytes(reinterpret_cast<const char*>(after_magic.data()), requirement_size);

    if (auto error = nkinstr::utf8_error(requirement_bytes))
        return refuse(fmt::format("Invalid UTF-8 in version requirement: {}", *error));
    auto requirement = semver::VersionReq::parse(requirement_bytes);
    if (!requirement) return refuse(fmt::format("Invalid version requirement format: {}", requirement.error()));
    if (!requirement->matches(engine_version))
        return refuse(fmt::format("Incompatible compiled module storage version: required {}, found {}",
                                  requirement->to_string(), engine_version.to_string()));

    ZstdSource source(after_magic.subspan(requirement_size + 1), max_payload_bytes);
    nkinstr::ByteReader reader(source);
    CompiledModuleStorage storage;
    nkinstr::decode(reader, storage.source_names);
    nkinstr::decode(reader, storage.module);
    nkinstr::decode(reader, storage.type_registry);
    if (!reader.ok()) return refuse(reader.error());
    return storage;
}

}  // namespace nkcore
