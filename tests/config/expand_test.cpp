#include "config/expand.h"

#include "base/string_list.h"
#include "config/launch_config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tarn {
namespace {

class Expand : public ::testing::Test {
  protected:
    void SetUp() override {
        config.setExePath(ByteString(test::onWindows ? "C:\\App\\tool.exe" : "/opt/app/tool"));
        config.captureWorkDir();
        currentConfig = &config;
    }
    void TearDown() override { currentConfig = nullptr; }

    std::string expand(const char* value, bool utf8 = false) {
        return expandValue(ByteString(value), utf8).cStr();
    }
    std::string home() { return config.appHome().cStr(); }

    LaunchConfig config{false};
};

TEST_F(Expand, ReferencesEscapesAndWhatStaysUnchanged) {
    test::ScopedEnv foo("FOO_BAR1", "v");
    test::ScopedEnv nope("NOPE", nullptr);
    test::ScopedEnv path("PATH", "p");
    EXPECT_EQ(expand("%APPLICATION_HOME%lib"), home() + "lib");
    EXPECT_EQ(expand("%FOO_BAR1%|$FOO_BAR1|$FOO_BAR1-BAR"), "v|v|v-BAR");
    EXPECT_EQ(expand("%%PATH%% and $$HOME"), "%PATH% and $HOME");
    EXPECT_EQ(expand("50%off %PATH"), "50%off %PATH");
    EXPECT_EQ(expand("%NOPE%PATH%"), "%NOPE%PATH%"); // the closing % opens nothing
    EXPECT_EQ(expand("$NOPE/x"), "$NOPE/x");
    EXPECT_EQ(expand("end%"), "end%");
    EXPECT_EQ(expand("a$-b %-c"), "a$-b %-c");
    EXPECT_EQ(expand(""), "");
}

TEST_F(Expand, ReplacementsAreNotScannedAgain) {
    test::ScopedEnv outer("OUTER", "%INNER%");
    test::ScopedEnv inner("INNER", "no");
    EXPECT_EQ(expand("%OUTER%"), "%INNER%");
}

TEST_F(Expand, SpecialVariablesIgnoreCaseAndYieldToTheEnvironment) {
    test::ScopedEnv app("APPLICATION_HOME", nullptr);
    std::string pwd = config.workDir().cStr();
    ASSERT_TRUE(config.workDir().endsWithSeparator());
    EXPECT_EQ(expand("%pwd%"), pwd);
    EXPECT_EQ(expand("%Pwd%"), pwd);
    EXPECT_EQ(expand("$TARN_APP_PATH"), config.exePath().cStr());
    {
        test::ScopedEnv set("APPLICATION_HOME", "/elsewhere/");
        EXPECT_EQ(expand("%APPLICATION_HOME%"), "/elsewhere/");
    }
    test::ScopedEnv shellPwd("PWD", "/shell/dir");
    // On Linux the recorded directory wins over the shell's PWD.
    EXPECT_EQ(expand("%PWD%"), test::onWindows ? "/shell/dir" : pwd);
}

TEST_F(Expand, HomeFromDriveAndPathOnlyWhenHomeIsUnset) {
    test::ScopedEnv unset("HOME", nullptr);
    {
        test::ScopedEnv drive("HOMEDRIVE", "C:");
        test::ScopedEnv noPath("HOMEPATH", nullptr);
        EXPECT_EQ(expand("%HOME%"), "");
    }
    test::ScopedEnv drive("HOMEDRIVE", "C:");
    test::ScopedEnv path("HOMEPATH", "\\Users\\a");
    EXPECT_EQ(expand("%HOME%\\x"), "C:\\Users\\a\\x");
    test::ScopedEnv set("HOME", "/home/a");
    EXPECT_EQ(expand("$HOME/bin"), "/home/a/bin");
}

TEST_F(Expand, Utf8ModeConvertsAnsiReplacements) {
    if (!setlocale(LC_ALL, test::onWindows ? ".1252" : "C.UTF-8"))
        GTEST_SKIP() << "no locale with an e-acute";
    std::string ansi = test::onWindows ? "caf\xE9" : "caf\xC3\xA9";
    test::ScopedEnv accented("ACCENTED", ansi.c_str());
    EXPECT_EQ(expand("%ACCENTED%", true), "caf\xC3\xA9");
    // Windows hands the variable over as UTF-16, which the launcher keeps as UTF-8.
    EXPECT_EQ(expand("%ACCENTED%", false), "caf\xC3\xA9");
    setlocale(LC_ALL, "C");
}

TEST_F(Expand, CallbacksCollectEveryValueExpanded) {
    test::ScopedEnv x("X_VALUE", "1");
    config.append("option -Da=%X_VALUE%\r\noption -Db\r\nproperty p=$X_VALUE\r\n");
    StringList options, properties;
    config.collectValues("option", options, false, true);
    config.collectValues("property", properties, false, false);
    ASSERT_EQ(options.count(), 2);
    EXPECT_STREQ(options.item(0), "-Da=1");
    EXPECT_STREQ(options.item(1), "-Db");
    ASSERT_EQ(properties.count(), 1);
    EXPECT_STREQ(properties.item(0), "p=1");
}

} // namespace
} // namespace tarn
