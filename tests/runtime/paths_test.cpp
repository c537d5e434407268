#include "runtime/locator.h"

#include "runtime/app_setup.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

class Paths : public ::testing::Test {
  protected:
    std::string resolve(const std::string& path) {
        return text(app.config().resolvePath(ByteString(path.c_str())));
    }
    AppSetup app;
};

TEST_F(Paths, RootedAndDriveQualifiedPathsStayUnchanged) {
    for (const char* path : {"C:\\Java\\jre", "c:relative", "Z:", "\\jre", "\\\\server\\share\\jre",
                             "/opt/jre", "//host/x", "/"})
        EXPECT_EQ(resolve(path), path);
}

TEST_F(Paths, RelativePathsPreferTheApplicationHomeToTheWorkingDirectory) {
    ASSERT_NE(app.home, app.workDir());
    place(app.home + "both/file");
    place(app.workDir() + "both/file");
    place(app.workDir() + "workonly/file");
    EXPECT_EQ(resolve("both/file"), app.home + "both/file");
    EXPECT_EQ(resolve("both"), app.home + "both");
    EXPECT_EQ(resolve("workonly/file"), app.workDir() + "workonly/file");
    EXPECT_EQ(resolve("./workonly"), app.workDir() + "./workonly");
    // Found nowhere: the application's form, for the caller's test to reject.
    EXPECT_EQ(resolve("nowhere/file"), app.home + "nowhere/file");
    EXPECT_EQ(resolve(""), app.home);
    EXPECT_EQ(resolve("."), app.home + ".");
}

TEST_F(Paths, ExistenceCoversFilesAndDirectories) {
    place(app.home + "file");
    EXPECT_TRUE(fileExists((app.home + "file").c_str()));
    EXPECT_TRUE(fileExists(app.home.c_str()));
    EXPECT_FALSE(fileExists((app.home + "missing").c_str()));
    EXPECT_FALSE(fileExists(""));
}

TEST_F(Paths, VmFlavourIsExpandedOnceAndNeverEmpty) {
    EXPECT_EQ(text(app.config().vmFlavour()), "-");
    EXPECT_EQ(text(app.reconfigure("vm").vmFlavour()), "-");
    EXPECT_EQ(text(app.reconfigure("vmx client\nvm server\nvm client").vmFlavour()), "server");
    ScopedEnv flavour("TARN_TEST_FLAVOUR", "client");
    LaunchConfig& config = app.reconfigure("vm $TARN_TEST_FLAVOUR");
    EXPECT_EQ(text(config.vmFlavour()), "client");
    // Cached: a later change of the variable no longer matters.
    ScopedEnv changed("TARN_TEST_FLAVOUR", "server");
    EXPECT_EQ(text(config.vmFlavour()), "client");
    EXPECT_FALSE(flavourConfigured(ByteString("-")));
    EXPECT_FALSE(flavourConfigured(ByteString("c")));
    EXPECT_TRUE(flavourConfigured(ByteString("cl")));
}

} // namespace
} // namespace tarn::test
