#include <gtest/gtest.h>

#include "nkcore/base/build_info.hpp"

namespace nkcore {
namespace {

const std::string kValidText =
    "timestamp=2024-03-05T07:08:09Z\n"
    "profile=release\n"
    "opt_level=3\n"
    "package.name=nkcore\n"
    "package.version=0.1.2\n"
    "package.authors=The Nimbrask developers\n"
    "package.license=\n"
    "package.features=default,ext_all,ext_nklog,python\n"
    "package.available_features=default,ext_all,ext_nklog,python\n"
    "package.dependencies=zstd\n"
    "target.triple=i686-unknown-linux-gnu\n"
    "target.family=unix\n"
    "target.os=Linux\n"
    "target.arch=i686\n"
    "target.pointer_width=32\n"
    "target.endian=little\n"
    "target.features=\n"
    "compiler.version=12.2.0\n"
    "compiler.id=GNU\n"
    "compiler.host=i686-unknown-linux-gnu\n";

BuildInfo decoded(const std::string& text) {
    auto info = decode_build_info(text);
    EXPECT_TRUE(info.ok()) << info.error().message();
    return info.ok() ? std::move(info).value() : BuildInfo{};
}

TEST(BuildInfo, ReleaseBuildLinesWithoutVersionControl) {
    BuildInfo info = decoded(kValidText);
    EXPECT_FALSE(info.version_control.has_value());
    EXPECT_FALSE(info.package.license.has_value());
    EXPECT_EQ(info.target.pointer_width, 32u);
    EXPECT_EQ(build_version_line(info),
              "nkcore version: v0.1.2 (features: [\"default\", \"ext_all\", \"ext_nklog\", \"python\"]) -- "
              "i686-unknown-linux-gnu release");
    EXPECT_EQ(build_commit_line(info), "built from commit 00000000.. on branch '<unnamed>'");
}

TEST(BuildInfo, CommitLineFromVersionControl) {
    struct Case {
        std::string dirty, branch, line;
    };
    const Case cases[] = {
        {"0", "main", "built from commit 1a2b3c4.. on branch 'main'"},
        {"1", "main", "built from commit 1a2b3c4.. (dirty) on branch 'main'"},
        {"1", "", "built from commit 1a2b3c4.. (dirty) on branch '<unnamed>'"},
    };
    for (const Case& c : cases) {
        std::string vcs = "vcs.commit=1a2b3c4d5e6f\nvcs.short=1a2b3c4\nvcs.timestamp=t\nvcs.dirty=" + c.dirty +
                          "\nvcs.branch=" + c.branch + "\nvcs.tags=v1,v2\n";
        BuildInfo info = decoded(kValidText + vcs);
        ASSERT_TRUE(info.version_control.has_value());
        EXPECT_EQ(info.version_control->tags, (std::vector<std::string>{"v1", "v2"}));
        EXPECT_EQ(build_commit_line(info), c.line);
    }
}

TEST(BuildInfo, CorruptFormsAreRefused) {
    struct Case {
        const char* what;
        std::string text;
    };
    std::string without_profile = kValidText;
    without_profile.erase(without_profile.find("profile="), std::string("profile=release\n").size());
    const Case cases[] = {
        {"empty", ""},
        {"missing key", without_profile},
        {"unknown key", kValidText + "extra=1\n"},
        {"duplicate key", kValidText + "profile=debug\n"},
        {"unterminated trailing bytes", kValidText + "garbage"},
        {"line without '='", kValidText + "garbage\n"},
        {"partial version control", kValidText + "vcs.short=1a2b3c4\n"},
        {"bad dirty flag", kValidText + "vcs.commit=a\nvcs.short=a\nvcs.timestamp=t\nvcs.dirty=yes\n"},
        {"bad number", std::string(kValidText).replace(kValidText.find("opt_level=3"), 11, "opt_level=x")},
    };
    for (const Case& c : cases) {
        auto info = decode_build_info(c.text);
        ASSERT_FALSE(info.ok()) << c.what;
        EXPECT_NE(info.error().message().find("Could not fully deserialize stored build info."), std::string::npos)
            << c.what;
    }
}

TEST(BuildInfo, ThisBuildDecodesOnceAndNamesItsFeatures) {
    auto first = build_info();
    ASSERT_TRUE(first.ok()) << first.error().message();
    auto second = build_info();
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(first.value(), second.value());
    const BuildInfo& info = *first.value();
    EXPECT_EQ(info.package.version.major, 0u);
    EXPECT_EQ(info.package.version.minor, 1u);
    EXPECT_EQ(info.package.version.patch, 2u);
    ASSERT_GE(info.package.features.size(), 3u);
    EXPECT_EQ(info.package.features[0], "default");
    EXPECT_EQ(info.package.features[1], "ext_all");
    EXPECT_EQ(info.package.features[2], "ext_nklog");
}

}  // namespace
}  // namespace nkcore
