#include "jvm/thread_stack.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

uint64_t parsed(const char* option) {
    uint64_t size = 12345;
    return parseStackSizeOption(option, size) ? size : 0xBAD;
}

TEST(ThreadStack, SizesAsJavaReadsThem) {
    EXPECT_EQ(parsed("-Xss1048576"), 1048576u);
    EXPECT_EQ(parsed("-Xss512k"), 512u * 1024);
    EXPECT_EQ(parsed("-Xss64M"), 64u << 20);
    EXPECT_EQ(parsed("-Xss1g"), 1ull << 30);
    EXPECT_EQ(parsed("-Xss2T"), 2ull << 40);
    EXPECT_EQ(parsed("-XX:ThreadStackSize=2048"), 2048u * 1024); // in KiB
    EXPECT_EQ(parsed("-XX:ThreadStackSize=1m"), 1ull << 30);
    EXPECT_EQ(parsed("-Xss1k"), 64u * 1024); // raised to what the VM needs to start
    EXPECT_EQ(parsed("-Xss0"), 0u);          // the VM's default
    EXPECT_EQ(parsed("-Xss99999999999999999999999g"), 1ull << 62); // saturates
}

TEST(ThreadStack, OtherOptionsAndBadSizesAreNotSizes) {
    for (const char* option : {"-Xss", "-Xssk", "-Xss1kb", "-Xss-1m", "-Xss 1m", "-Xss1x",
                               "-Xmx64m", "-XX:ThreadStackSize=", "-Dx=-Xss1m", "-xss1m"})
        EXPECT_EQ(parsed(option), 0xBADu) << option;
}

TEST(ThreadStack, TheLastOptionWins) {
    StringList options;
    EXPECT_EQ(stackSizeFromOptions(options), 0u);
    options.add("-Xss4m");
    options.add("-Xmx1g");
    options.add("-XX:ThreadStackSize=128");
    options.add("-Xssjunk");
    EXPECT_EQ(stackSizeFromOptions(options), 128u * 1024);
}

} // namespace
} // namespace tarn
