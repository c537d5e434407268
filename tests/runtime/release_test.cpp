#include "runtime/release.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn {
namespace {

std::string versionOf(const std::string& text) {
    ByteString version;
    if (!parseReleaseText(text.data(), int32_t(text.size()), version))
        return "<none>";
    return version.cStr();
}

TEST(ReleaseFile, ReadsJavaVersionWhereverItStands) {
    EXPECT_EQ(versionOf("IMPLEMENTOR=\"Debian\"\nJAVA_VERSION=\"17.0.15\"\nOS_NAME=\"Linux\"\n"),
              "17.0.15");
    EXPECT_EQ(versionOf("JAVA_VERSION=\"1.8.0_402\"\r\nOS_ARCH=\"amd64\"\r\n"), "1.8.0_402");
    EXPECT_EQ(versionOf("JAVA_VERSION=25"), "25");
    // Similar keys, empty values and missing lines are no version.
    EXPECT_EQ(versionOf("JAVA_VERSION_DATE=\"2025-09-16\"\nJAVA_RUNTIME_VERSION=\"25+36\"\n"),
              "<none>");
    EXPECT_EQ(versionOf("JAVA_VERSION=\"\"\n"), "<none>");
    EXPECT_EQ(versionOf(""), "<none>");
}

TEST(ReleaseFile, FindsTheHomeAboveALibrary) {
    test::TempDir dir;
    test::writeFile(dir.path() / "jdk/release", "JAVA_VERSION=\"21.0.2\"\n");
    test::writeFile(dir.path() / "jdk/lib/server/libjvm.so", "");
    test::writeFile(dir.path() / "jdk8/release", "JAVA_VERSION=\"1.8.0_402\"\n");
    test::writeFile(dir.path() / "jdk8/jre/lib/amd64/server/libjvm.so", "");
    ByteString version;
    ASSERT_TRUE(
        readLibraryVersion((dir.path() / "jdk/lib/server/libjvm.so").string().c_str(), version));
    EXPECT_STREQ(version.cStr(), "21.0.2");
    ASSERT_TRUE(readLibraryVersion(
        (dir.path() / "jdk8/jre/lib/amd64/server/libjvm.so").string().c_str(), version));
    EXPECT_STREQ(version.cStr(), "1.8.0_402");
    EXPECT_FALSE(readReleaseVersion((dir.path() / "none").string().c_str(), version));
}

} // namespace
} // namespace tarn
