#include "core/messages.h"

#include "config/launch_config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

std::string format(const char* text, std::vector<const char*> args) {
    ByteString out;
    formatMessage(out, text, args.data(), int(args.size()));
    return out.cStr();
}

TEST(Messages, UnescapingOverrideTexts) {
    EXPECT_STREQ(unescapeMessageText("No Java\\tfound").cStr(), "No Java\tfound");
    EXPECT_STREQ(unescapeMessageText("C:\\\\Java").cStr(), "C:\\Java");
    EXPECT_STREQ(unescapeMessageText("a\\nb\\rc\\qd\\").cStr(), "a\nb\rcqd");
    EXPECT_STREQ(unescapeMessageText("").cStr(), "");
}

TEST(Messages, FormattingTakesOnlyPercentSAndNeverReadsPastItsArguments) {
    std::vector<const char*> five = {"1.6.0_07", "1.6.0_20", "1.8", "", ""};
    EXPECT_EQ(format("version %s is too low, require %s or higher.", five),
              "version 1.6.0_07 is too low, require 1.6.0_20 or higher.");
    EXPECT_EQ(format("%s|%s|%s|%s|%s|%s|%s", five), "1.6.0_07|1.6.0_20|1.8||||");
    EXPECT_EQ(format("100%% %d %x %n %p %.3s %", five), "100% %d %x %n %p %.3s %");
    std::string longArg(5000, 'x');
    std::string result = format("[%s]", {longArg.c_str()});
    EXPECT_EQ(result.size(), size_t(maxFormattedLength));
    EXPECT_EQ(result.substr(0, 3), "[xx");
}

// The override table is built once per process: every case lives in one test.
TEST(Messages, OverridesBeforeTheStringTable) {
    LaunchConfig config(false);
    config.append("message 7=Main class missing.\\nPlease reinstall.\r\n"
                  "message 6=first %s\r\nmessage 6=second\r\n"
                  "message 0=zero\r\nmessage -3=negative\r\nmessage 8\r\n"
                  "message 13=Already running!\r\nmessage 1=No Java\\tfound\r\n");
    currentConfig = &config;
    EXPECT_STREQ(loadMessage(7).cStr(), "Main class missing.\nPlease reinstall.");
    EXPECT_STREQ(loadMessage(6).cStr(), "first %s");
    EXPECT_STREQ(loadMessage(13).cStr(), "Already running!");
    EXPECT_STREQ(loadMessage(1).cStr(), "No Java\tfound");
    // Not overridden: the executable's string table.
    EXPECT_STREQ(loadMessage(8).cStr(),
                 "The main startup class is not valid, main method missing.");
    EXPECT_STREQ(loadMessage(2).cStr(), "Java Runtime Environment not valid.");
    EXPECT_STREQ(loadMessage(3).cStr(), "Java Virtual Machine initialize failed.");
    EXPECT_STREQ(loadMessage(10).cStr(), "Error");
    EXPECT_STREQ(loadMessage(12).cStr(), "Java virtual machine version %s is too high, version "
                                         "between %s and %s is required.");
    EXPECT_STREQ(loadMessage(0).cStr(), "");
    EXPECT_STREQ(loadMessage(9).cStr(), "");
    EXPECT_STREQ(loadMessage(11).cStr(), "");
    EXPECT_STREQ(loadMessage(16).cStr(),
                 "Java virtual machine version %s is too high, require %s or lower.");
    EXPECT_TRUE(hasMessageOverride(6));
    EXPECT_FALSE(hasMessageOverride(12));
    EXPECT_STREQ(loadMessage(400).cStr(), ""); // no such block
    currentConfig = nullptr;
}

} // namespace
} // namespace tarn
