#include <gtest/gtest.h>

#include "nkcore/utils/semver.hpp"

using namespace nkcore::semver;

namespace {

Version v(std::string_view text) {
    auto parsed = Version::parse(text);
    EXPECT_TRUE(parsed.ok()) << text << ": " << (parsed.ok() ? "" : parsed.error());
    return parsed.ok() ? *parsed : Version{};
}

}  // namespace

TEST(Semver, VersionsParseAndPrint) {
    for (const char* text : {"0.1.2", "1.0.0-alpha.2", "1.2.3+build.5", "1.2.3-rc.1+exp.sha.5114f85", "10.20.30",
                             "1.0.0-0A.is.legal", "18446744073709551615.0.0"})
        EXPECT_EQ(v(text).to_string(), text);
    const Version pre = v("1.0.0-alpha.2+b7");
    EXPECT_EQ(pre.pre, (std::vector<std::string>{"alpha", "2"}));
    EXPECT_EQ(pre.build, (std::vector<std::string>{"b7"}));
}

TEST(Semver, MalformedVersionsAreRefused) {
    for (const char* text : {"", "1", "1.2", "1.2.3.4", "01.2.3", "1.02.3", "1.2.3-", "1.2.3-01", "1.2.3-a..b",
                             "1.2.3+", "v1.2.3", " 1.2.3", "1.2.3 ", "1.2.x", "18446744073709551616.0.0",
                             "1.2.3-é"}) {
        auto parsed = Version::parse(text);
        EXPECT_FALSE(parsed.ok()) << text;
        if (!parsed.ok()) {
            EXPECT_FALSE(parsed.error().empty()) << text;
        }
    }
    EXPECT_EQ(Version::parse("01.2.3").error(), "invalid leading zero in major version number");
    EXPECT_EQ(Version::parse("1.2").error(), "expected '.' after the minor version number");
}

TEST(Semver, ExactTextForContainers) {
    EXPECT_EQ(VersionReq::exact_text(v("0.1.2")), "=0.1.2");
    EXPECT_EQ(VersionReq::exact_text(v("1.0.0-alpha.2")), "=1.0.0-alpha.2");
    EXPECT_EQ(VersionReq::exact_text(v("1.2.3-rc.1+build.9")), "=1.2.3-rc.1");
    EXPECT_EQ(v("1.2.3-rc.1+build.9").to_string(), "1.2.3-rc.1+build.9");
}

TEST(Semver, RequirementMatching) {
    struct Case {
        const char* req;
        const char* version;
        bool matches;
    };
    const std::vector<Case> cases = {
        // exact, build metadata ignored on both sides
        {"=0.1.2", "0.1.2", true},
        {"=0.1.2", "0.1.2+linux", true},
        {"=0.1.2", "0.1.3", false},
        {"=1.2.3+meta", "1.2.3", true},
        {"=1.2", "1.2.9", true},
        {"=1", "1.9.9", true},
        {"=1.2", "1.3.0", false},
        // pre-release rule
        {"=1.0.0-alpha.2", "1.0.0-alpha.2", true},
        {"=1.0.0-alpha.2", "1.0.0-alpha.3", false},
        {"=1.0.0", "1.0.0-alpha.2", false},
        {">=1.0.0-alpha", "1.0.0-beta", true},
        {">=1.0.0-alpha", "1.0.1-beta", false},  // pre-release of another patch
        {">=1.0.0-alpha", "1.0.0", true},
        {">=0.9", "1.0.0-rc.1", false},
        {"<1.0.0", "1.0.0-rc.1", false},
        // ordering of pre-releases
        {">1.0.0-alpha.2", "1.0.0-alpha.10", true},
        {">1.0.0-alpha", "1.0.0-alpha.1", true},
        {">1.0.0-alpha.1", "1.0.0-alpha.beta", true},
        {"<1.0.0-beta", "1.0.0-alpha", true},
        {"<1.0.0-rc.1", "1.0.0-rc.1.1", false},
        // comparisons
        {">1.2.3", "1.2.4", true},
        {">1.2.3", "1.2.3", false},
        {">1.2", "1.2.9", false},
        {">1.2", "1.3.0", true},
        {">=1.2.3", "1.2.3", true},
        {"<1.2.3", "1.2.2", true},
        {"<1.2", "1.2.0", false},
        {"<=1.2", "1.2.7", true},
        {"<=1.2.3", "1.2.4", false},
        // tilde
        {"~1.2.3", "1.2.9", true},
        {"~1.2.3", "1.3.0", false},
        {"~1.2.3", "1.2.2", false},
        {"~1.2", "1.2.0", true},
        {"~1", "1.9.0", true},
        {"~1", "2.0.0", false},
        // caret, explicit and bare
        {"^1.2.3", "1.9.0", true},
        {"^1.2.3", "2.0.0", false},
        {"^1.2.3", "1.2.2", false},
        {"^0.2.3", "0.2.9", true},
        {"^0.2.3", "0.3.0", false},
        {"^0.0.3", "0.0.3", true},
        {"^0.0.3", "0.0.4", false},
        {"^0.0", "0.0.7", true},
        {"^0.0", "0.1.0", false},
        {"^1.2", "1.5.0", true},
        {"^0", "0.9.9", true},
        {"1.2.3", "1.4.0", true},
        {"0.1.2", "0.1.9", true},
        {"0.1.2", "0.2.0", false},
        // wildcards
        {"*", "0.1.2", true},
        {"*", "99.0.0", true},
        {"*", "1.0.0-alpha", false},
        {"x", "3.1.4", true},
        {"1.*", "1.9.9", true},
        {"1.x", "2.0.0", false},
        {"1.2.X", "1.2.7", true},
        {"1.2.*", "1.3.0", false},
        {"=1.*", "1.0.0", true},
        {">=1.*", "1.0.0", true},
        // comma lists: every comparator must match
        {">=1.2.3, <1.8.0", "1.5.0", true},
        {">=1.2.3, <1.8.0", "1.8.0", false},
        {" >= 1.2.3 ,< 2 ", "1.9.0", true},
        {">=1.0.0-rc.1, <2", "1.0.0-rc.2", true},
    };
    for (const auto& c : cases) {
        auto req = VersionReq::parse(c.req);
        ASSERT_TRUE(req.ok()) << c.req << ": " << req.error();
        EXPECT_EQ(req->matches(v(c.version)), c.matches) << c.req << " vs " << c.version;
    }
}

TEST(Semver, RequirementsPrint) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"=1.2.3", "=1.2.3"},       {"=1.0.0-alpha.2", "=1.0.0-alpha.2"},
        {"1.2.3", "^1.2.3"},        {"*", "*"},
        {"1.*", "1.*"},             {"1.2.x", "1.2.*"},
        {">= 1.2, <2", ">=1.2, <2"}, {"~0.1", "~0.1"},
        {"=1.2.3+build", "=1.2.3"},
    };
    for (const auto& [text, printed] : cases) {
        auto req = VersionReq::parse(text);
        ASSERT_TRUE(req.ok()) << text;
        EXPECT_EQ(req->to_string(), printed) << text;
    }
}

TEST(Semver, MalformedRequirementsAreRefused) {
    for (const char* text : {"", "  ", "=", ">=a", "1.2.3,", ",1.2.3", "1.*.3", "1.2.3 4", "=>1.2.3", "1.2-pre",
                             ">*", "*, <2", "1.2.3-", "=01.2.3", "1.2.3-01", "\xC3\xA9"}) {
        auto req = VersionReq::parse(text);
        EXPECT_FALSE(req.ok()) << text;
        if (!req.ok()) {
            EXPECT_FALSE(req.error().empty());
        }
    }
    EXPECT_EQ(VersionReq::parse(">=a").error(), "unexpected character 'a' while parsing major version number");
    EXPECT_EQ(VersionReq::parse("1.2,").error(), "empty comparator in version requirement");
}
