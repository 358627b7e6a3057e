#pragma once
// The compiled module container: magic, version requirement, then one zstd
// frame holding the source names, the module and its type registry.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "nkcore/ext/log_record.hpp"
#include "nkcore/utils/error.hpp"
#include "nkcore/utils/semver.hpp"
#include "nkinstr/modules/module.hpp"
#include "nkinstr/types/registry.hpp"

namespace nkcore {

// The container's first eight bytes: 0x7F, then "NKMODIR".
inline constexpr std::uint8_t kContainerMagic[8] = {0x7F, 'N', 'K', 'M', 'O', 'D', 'I', 'R'};

// Upper bound on the decompressed payload. A small frame can expand without
// bound; decoding stops with an error once this many bytes have come out,
// far above any real module.
inline constexpr std::uint64_t kMaxPayloadBytes = std::uint64_t(1) << 30;  // 1 GiB

struct CompiledModuleStorage {
    std::vector<std::string> source_names;
    nkinstr::Module module;
    nkinstr::TypeRegistry type_registry;
};

// Writes the container for an engine of `engine_version`; logs to `log`
// (module path "nkcore::compiler").
NkResult<std::vector<std::uint8_t>> encode(const CompiledModuleStorage& storage, const semver::Version& engine_version,
                                           const LogTarget& log);

// Reads a container; refuses foreign data and containers whose version
// requirement `engine_version` does not meet, and stops once the payload has
// expanded beyond `max_payload_bytes`.
NkResult<CompiledModuleStorage> decode(std::span<const std::uint8_t> bytes, const semver::Version& engine_version,
                                       const LogTarget& log, std::uint64_t max_payload_bytes = kMaxPayloadBytes);

}  // namespace nkcore
