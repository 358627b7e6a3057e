#pragma once
// Semantic versions and version requirements (comparators =, >, >=, <, <=, ~, ^,
// wildcards, comma lists, pre-release rules).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nkinstr/utils/result.hpp"

namespace nkcore::semver {

struct Version {
    std::uint64_t major = 0, minor = 0, patch = 0;
    std::vector<std::string> pre;    // pre-release identifiers
    std::vector<std::string> build;  // build metadata
    // major.minor.patch[-pre][+build]
    std::string to_string() const;
    static nkinstr::Result<Version, std::string> parse(std::string_view text);
};

struct Comparator {
    enum class Op { Exact, Greater, GreaterEq, Less, LessEq, Tilde, Caret, Wildcard };
    Op op = Op::Exact;
    std::uint64_t major = 0;
    std::optional<std::uint64_t> minor, patch;
    std::vector<std::string> pre;
};

struct VersionReq {
    std::vector<Comparator> comparators;  // empty: "*"
    static nkinstr::Result<VersionReq, std::string> parse(std::string_view text);
    bool matches(const Version& v) const;
    std::string to_string() const;
    // The single exact comparator written into containers: "=1.2.3[-pre]".
    static std::string exact_text(const Version& v);
};

}  // namespace nkcore::semver
