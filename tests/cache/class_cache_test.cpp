// The version rule that picks a cache mechanism, and the names cache files carry.
#include "cache/class_cache.h"

#include "base/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn {
namespace {

TEST(ClassCache, MechanismByRuntimeVersion) {
    EXPECT_EQ(cacheMechanismFor("1.8.0_402"), CacheMechanism::none);
    EXPECT_EQ(cacheMechanismFor("11.0.22"), CacheMechanism::none);
    EXPECT_EQ(cacheMechanismFor("13"), CacheMechanism::dynamicArchive);
    EXPECT_EQ(cacheMechanismFor("17.0.15"), CacheMechanism::dynamicArchive);
    EXPECT_EQ(cacheMechanismFor("24.0.1"), CacheMechanism::dynamicArchive);
    EXPECT_EQ(cacheMechanismFor("25"), CacheMechanism::aotCache);
    EXPECT_EQ(cacheMechanismFor("26-ea"), CacheMechanism::aotCache);
    EXPECT_EQ(cacheMechanismFor(""), CacheMechanism::none);
    EXPECT_EQ(cacheMechanismFor("unknown"), CacheMechanism::none);
}

TEST(ClassCache, NamesCarryTheProgramAndTheFinishedSize) {
    std::string program = programPrefix(ByteString("/opt/my app/Tool-2.1")).cStr();
    // Plain characters of the file name ("_" for others), then a hash of the path.
    EXPECT_EQ(program.substr(0, 9), "Tool_2.1-");
    EXPECT_EQ(program.size(), 9u + 8u);
    EXPECT_NE(programPrefix(ByteString("/other/Tool-2.1")).cStr(), program);
    EXPECT_EQ(std::string(programPrefix(ByteString("C:\\apps\\tool.exe")).cStr()).substr(0, 9),
              "tool.exe-");

    ByteString prefix("app-0000000a-00000000000000ff-");
    EXPECT_EQ(sealedSize("app-0000000a-00000000000000ff-1c000.jsa", prefix, ".jsa"), 114688);
    EXPECT_EQ(sealedSize("app-0000000a-00000000000000ff-1c000.aot", prefix, ".jsa"), -1);
    EXPECT_EQ(sealedSize("app-0000000a-00000000000000ff-4242.tmp", prefix, ".jsa"), -1);
    EXPECT_EQ(sealedSize("app-0000000a-00000000000000ff-.jsa", prefix, ".jsa"), -1);
    EXPECT_EQ(sealedSize("app-0000000a-00000000000000ff-12g.jsa", prefix, ".jsa"), -1);
    EXPECT_EQ(sealedSize("app-0000000a-0000000000000fff-1.jsa", prefix, ".jsa"), -1);

    ByteString number;
    appendHex(number, 0xbeef, 8);
    appendHex(number, 0, 1);
    EXPECT_STREQ(number.cStr(), "0000beef0");
}

} // namespace
} // namespace tarn
