#include "nkcore/base/build_info.hpp"

#include <charconv>
#include <map>
#include <mutex>

#include <fmt/format.h>

namespace nkcore {

namespace build_blob {
extern const unsigned char data[];
extern const std::size_t size;
}  // namespace build_blob

namespace {

NkError decode_failure() { return nkerrors::Unknown{std::string(kBuildInfoDecodeFailure)}; }

std::vector<std::string> split_list(std::string_view text) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    for (;;) {
        std::size_t comma = text.find(',');
        items.emplace_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return items;
        text.remove_prefix(comma + 1);
    }
}

template <class Int>
std::optional<Int> parse_decimal(std::string_view text) {
    Int value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// Compilers report two to four numeric components ("12", "12.2.0",
// "19.38.33135.0"); the first three become the version, missing ones zero.
std::optional<semver::Version> parse_compiler_version(std::string_view text) {
    semver::Version version;
    std::uint64_t* parts[] = {&version.major, &version.minor, &version.patch};
    if (text.empty()) return std::nullopt;
    std::size_t index = 0;
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t dot = rest.find('.');
        auto number = parse_decimal<std::uint64_t>(rest.substr(0, dot));
        if (!number) return std::nullopt;
        if (index < 3) *parts[index] = *number;
        ++index;
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
        if (rest.empty()) return std::nullopt;
    }
    return version;
}

// The stored lines as a key map; each key may be given once.
class Fields {
public:
    static std::optional<Fields> read(std::string_view text) {
        Fields fields;
        while (!text.empty()) {
            std::size_t end = text.find('\n');
            if (end == std::string_view::npos) return std::nullopt;  // unterminated trailing bytes
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end + 1);
            std::size_t eq = line.find('=');
            if (eq == std::string_view::npos || eq == 0) return std::nullopt;
            if (!fields.values_.emplace(line.substr(0, eq), line.substr(eq + 1)).second) return std::nullopt;
        }
        return fields;
    }

    bool has(std::string_view key) const { return values_.count(key) != 0; }
    bool has_prefix(std::string_view prefix) const {
        auto it = values_.lower_bound(prefix);
        return it != values_.end() && it->first.substr(0, prefix.size()) == prefix;
    }

    // Takes a value out; absent keys leave `ok` false.
    std::string_view take(std::string_view key) {
        auto it = values_.find(key);
        if (it == values_.end()) {
            ok_ = false;
            return {};
        }
        std::string_view value = it->second;
        values_.erase(it);
        return value;
    }
    std::optional<std::string> take_optional(std::string_view key) {
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        std::string value(it->second);
        values_.erase(it);
        if (value.empty()) return std::nullopt;
        return value;
    }
    void fail() { ok_ = false; }
    // Everything was found and nothing is left over.
    bool complete() const { return ok_ && values_.empty(); }

private:
    std::map<std::string_view, std::string_view, std::less<>> values_;
    bool ok_ = true;
};

void read_package(Fields& f, BuildInfo::Package& p) {
    p.name = f.take("package.name");
    auto version = semver::Version::parse(f.take("package.version"));
    if (version.ok()) p.version = std::move(version).value(); else f.fail();
    p.authors = split_list(f.take("package.authors"));
    p.license = f.take_optional("package.license");
    p.features = split_list(f.take("package.features"));
    p.available_features = split_list(f.take("package.available_features"));
    for (std::string& name : split_list(f.take("package.dependencies"))) p.dependencies.push_back({std::move(name)});
}

void read_target(Fields& f, BuildInfo::Target& t) {
    t.triple = f.take("target.triple");
    t.family = f.take("target.family");
    t.os = f.take("target.os");
    t.arch = f.take("target.arch");
    if (auto width = parse_decimal<std::uint32_t>(f.take("target.pointer_width"))) t.pointer_width = *width; else f.fail();
    std::string_view endian = f.take("target.endian");
    if (endian == "little") t.endian = BuildInfo::Endian::Little;
    else if (endian == "big") t.endian = BuildInfo::Endian::Big;
    else f.fail();
    t.features = split_list(f.take("target.features"));
}

void read_compiler(Fields& f, BuildInfo::Compiler& c) {
    if (auto version = parse_compiler_version(f.take("compiler.version"))) c.version = *version; else f.fail();
    c.commit_hash = f.take_optional("compiler.commit_hash");
    c.commit_date = f.take_optional("compiler.commit_date");
    c.id = f.take("compiler.id");
    c.host = f.take("compiler.host");
}

// Version control is all or nothing: a build outside a checkout has no vcs keys.
void read_version_control(Fields& f, std::optional<BuildInfo::VersionControl>& out) {
    if (!f.has_prefix("vcs.")) return;
    BuildInfo::VersionControl v;
    v.commit = f.take("vcs.commit");
    v.short_commit = f.take("vcs.short");
    v.timestamp = f.take("vcs.timestamp");
    std::string_view dirty = f.take("vcs.dirty");
    if (dirty == "1") v.dirty = true;
    else if (dirty != "0") f.fail();
    v.branch = f.take_optional("vcs.branch");
    if (f.has("vcs.tags")) v.tags = split_list(f.take("vcs.tags"));
    out = std::move(v);
}

}  // namespace

NkResult<BuildInfo> decode_build_info(std::string_view text) {
    std::optional<Fields> fields = Fields::read(text);
    if (!fields) return nkinstr::fail(decode_failure());
    Fields& f = *fields;
    BuildInfo info;
    info.timestamp = f.take("timestamp");
    info.profile = f.take("profile");
    if (auto level = parse_decimal<std::uint32_t>(f.take("opt_level"))) info.opt_level = *level; else f.fail();
    read_package(f, info.package);
    read_target(f, info.target);
    read_compiler(f, info.compiler);
    read_version_control(f, info.version_control);
    if (!f.complete()) return nkinstr::fail(decode_failure());
    return info;
}

NkResult<const BuildInfo*> build_info() {
    // A function-local static: exactly one thread decodes, the others wait.
    static const NkResult<BuildInfo> decoded = decode_build_info(
        std::string_view(reinterpret_cast<const char*>(build_blob::data), build_blob::size));
    if (!decoded.ok()) return nkinstr::fail(decoded.error());
    return &decoded.value();
}

std::string quoted_list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += '"';
        out += items[i];
        out += '"';
    }
    out += ']';
    return out;
}

std::string build_version_line(const BuildInfo& info) {
    const semver::Version& v = info.package.version;
    return fmt::format("nkcore version: v{}.{}.{} (features: {}) -- {} {}", v.major, v.minor, v.patch,
                       quoted_list(info.package.features), info.target.triple, info.profile);
}

std::string build_commit_line(const BuildInfo& info) {
    const auto& vcs = info.version_control;
    std::string_view commit = vcs ? std::string_view(vcs->short_commit) : std::string_view("00000000");
    std::string_view dirty = vcs && vcs->dirty ? " (dirty)" : "";
    std::string_view branch = vcs && vcs->branch ? std::string_view(*vcs->branch) : std::string_view("<unnamed>");
    return fmt::format("built from commit {}..{} on branch '{}'", commit, dirty, branch);
}

}  // namespace nkcore
