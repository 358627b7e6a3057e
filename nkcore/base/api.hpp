#pragma once
// The records a caller fills in to create an instance and to compile sources.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "nkcore/utils/opaque.hpp"

namespace nkcore {

struct VersionInfo {
    std::uint16_t major = 0, minor = 0, patch = 0;
};

struct ApplicationInfo {
    VersionInfo application_version;
    std::string application_name;
    VersionInfo engine_version;
    std::string engine_name;
};

enum class ModuleSourceType : std::uint32_t { Assembly = 0 };

struct ModuleSourceInfo {
    ModuleSourceType source_type = ModuleSourceType::Assembly;
    std::optional<std::string> filename;
    std::string data;
};

struct ModuleCompileInfo {
    std::vector<ModuleSourceInfo> sources;
};

struct InstanceCreateInfo {
    ApplicationInfo application_info;
    std::vector<std::string> enabled_extensions;
    std::uint32_t node_id = 0;
    OpaqueList ext;  // create-info records for extensions
};

}  // namespace nkcore
