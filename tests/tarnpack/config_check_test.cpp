// Configurations the launcher would misread in silence, and inputs that are not
// what they claim to be.
#include "support.h"

#include <gtest/gtest.h>

using namespace tptest;

namespace {

class Checks : public ::testing::Test {
  protected:
    TempDir dir;
    std::string stubPath = dir / "tarn";
    std::string jarPath = dir / "app.jar";
    std::string cfgPath = dir / "app.cfg";
    std::string outPath = dir / "app";

    void SetUp() override {
        writeFile(stubPath, makeStub());
        writeFile(jarPath, makeJar("Main-Class: a.B\r\n"));
    }
    Result pack(const std::string& jar, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--jar", jar, "--launcher", stubPath, "--out", outPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return tarnpack(args);
    }
};

TEST_F(Checks, CloseKeysAndForeignFormsAreNamedLineByLine) {
    writeFile(cfgPath, bytesOf("# Caf\xC3\xA9 settings\r\n"
                               "main-class app.Main\r\n"
                               "mainclass: app.Main\r\n"
                               "options -Xmx1g\r\n"
                               "stdout = out.log\r\n"
                               "jre-order e\r\n"
                               "Notes go anywhere, and ordinary words stay silent.\r\n"
                               "option=-Xss1m\r\n"
                               "jre ./runtime\r\n"));
    const std::string at = "tarnpack: warning: configuration '" + cfgPath + "' line ";
    Result warned = pack(jarPath, {"--config", cfgPath});
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_EQ(lines(warned.err),
              (std::vector<std::string>{
                  at + "2: unknown key 'main-class'; did you mean 'mainclass'?",
                  at + "3: 'mainclass:' is read as the key 'mainclass' with the value ': "
                       "app.Main'; write 'mainclass VALUE' or 'mainclass=VALUE'",
                  at + "4: unknown key 'options'; did you mean 'option'?",
                  at + "5: 'stdout =' has spaces before '='; write 'stdout VALUE' or "
                       "'stdout=VALUE'",
                  at + "6: 'jre-order' is read as the key 'jre' with the value '-order e'; "
                       "did you mean 'jre_order'?"}));
    EXPECT_TRUE(exists(outPath));

    std::remove(outPath.c_str());
    Result strict = pack(jarPath, {"--config", cfgPath, "--strict"});
    EXPECT_EQ(strict.status, 1);
    std::vector<std::string> errors = lines(strict.err);
    ASSERT_EQ(errors.size(), 5u) << strict.err;
    EXPECT_EQ(errors[0].rfind("tarnpack: error: configuration '" + cfgPath + "' line 2: ", 0), 0u);
    EXPECT_EQ(errors[4].substr(errors[4].size() - 11), " (--strict)");
    EXPECT_FALSE(exists(outPath));
}

TEST_F(Checks, NulBytesAndWrappedProgramsAreRefused) {
    // UTF-16 without a byte-order mark: every other byte is NUL.
    writeFile(cfgPath, utf16(u"mainclass a.B\r\n", true));
    Result nul = pack(jarPath, {"--config", cfgPath});
    EXPECT_EQ(nul.status, 1);
    EXPECT_EQ(nul.err, "tarnpack: error: configuration '" + cfgPath +
                           "' holds a NUL character (offset 1): save it as UTF-8, or as UTF-16 "
                           "with a byte-order mark\n");
    writeFile(cfgPath, concat({bytesOf("\xFF\xFE"), utf16(u"a", true), Bytes{0, 0}}));
    EXPECT_EQ(pack(jarPath, {"--config", cfgPath}).status, 1);

    ASSERT_EQ(pack(jarPath).status, 0);
    std::string wrapped = dir / "wrapped";
    std::rename(outPath.c_str(), wrapped.c_str());
    Result again = pack(wrapped);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "tarnpack: error: JAR '" + wrapped +
                             "' is a program wrapped by tarnpack, not a JAR: pass the "
                             "application's own JAR\n");
    EXPECT_FALSE(exists(outPath));
}

} // namespace
