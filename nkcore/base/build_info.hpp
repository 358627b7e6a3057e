#pragma once
// The description of the build that produced this engine: recorded at build
// time as `key=value` lines, decoded once per process on first use.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nkcore/utils/error.hpp"
#include "nkcore/utils/semver.hpp"

namespace nkcore {

struct BuildInfo {
    struct Dependency {
        std::string name;
        friend bool operator==(const Dependency&, const Dependency&) = default;
    };
    struct Package {
        std::string name;
        semver::Version version;
        std::vector<std::string> authors;
        std::optional<std::string> license;
        std::vector<std::string> features;            // enabled, in build order
        std::vector<std::string> available_features;
        std::vector<Dependency> dependencies;
    };
    enum class Endian : std::uint8_t { Little, Big };
    struct Target {
        std::string triple;
        std::string family;
        std::string os;
        std::string arch;
        std::uint32_t pointer_width = 0;
        Endian endian = Endian::Little;
        std::vector<std::string> features;
    };
    struct Compiler {
        semver::Version version;
        std::optional<std::string> commit_hash;
        std::optional<std::string> commit_date;
        std::string id;  // which compiler family built us ("GNU", "Clang")
        std::string host;
    };
    struct VersionControl {
        std::string commit;
        std::string short_commit;
        std::string timestamp;
        bool dirty = false;
        std::optional<std::string> branch;
        std::vector<std::string> tags;
    };

    std::string timestamp;  // UTC, "2024-03-05T07:08:09Z"
    std::string profile;
    std::uint32_t opt_level = 0;
    Package package;
    Target target;
    Compiler compiler;
    std::optional<VersionControl> version_control;
};

// The text every failure of decoding the stored build description carries.
inline constexpr std::string_view kBuildInfoDecodeFailure = "Could not fully deserialize stored build info.";

// Decodes the stored form. Every line must be a known key given once, and
// every required key must be present; anything else is a corrupt build.
NkResult<BuildInfo> decode_build_info(std::string_view text);

// The process's build description, decoded on the first call (thread-safe);
// later calls return the same record or the same failure.
NkResult<const BuildInfo*> build_info();

// The two lines every new instance logs about the build.
std::string build_version_line(const BuildInfo& info);
std::string build_commit_line(const BuildInfo& info);

// "[\"a\", \"b\"]": the list form used inside log messages.
std::string quoted_list(const std::vector<std::string>& items);

}  // namespace nkcore
