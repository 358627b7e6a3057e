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
// requirement `engine_version` does not meet.
NkResult<CompiledModuleStorage> decode(std::span<const std::uint8_t> bytes, const semver::Version& engine_version,
                                       const LogTarget& log);

}  // namespace nkcore
