// `cds auto` on Windows: the cache options a runtime gets, in the profile's
// %LOCALAPPDATA%\tarn\cds (Wine sets that variable itself). The runtime double
// writes no archive, so the finished cache of the second start is put there by
// the test.
#include "wine/wine_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarn::test {
namespace {

using Win64Cache = Win64Test;

TEST_F(Win64Cache, OptionsWriteThenUseTheCacheInLocalAppData) {
    place(target.runtime(), dir / "rt/bin/server/jvm.dll");
    writeFile(dir / "rt/release", "IMPLEMENTOR=\"double\"\nJAVA_VERSION=\"17.0.2\"\n");
    fs::path exe =
        wrap(target, dir.path(), "app",
             lines({"mainclass app/Main", "jre_order c",
                    "jvmdll " + windowsPath(dir / "rt/bin/server/jvm.dll"), "cds auto"}));
    Outcome r = run(exe);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> options = records(r.out).options;
    ASSERT_EQ(options.size(), 6u) << r.out;
    const std::string write = "-XX:ArchiveClassesAtExit=C:\\users\\";
    ASSERT_EQ(options[3].rfind(write, 0), 0u) << options[3];
    size_t name = options[3].rfind('/') + 1;
    std::string folder = options[3].substr(write.size() - 9, name - (write.size() - 9));
    EXPECT_EQ(folder.substr(folder.size() - 24), "\\AppData\\Local/tarn/cds/");
    EXPECT_EQ(options[3].substr(options[3].size() - 4), ".tmp");
    EXPECT_EQ(std::vector<std::string>(options.begin() + 4, options.end()),
              (std::vector<std::string>{"-Xshare:auto", "-Xlog:cds*=off"}));
    std::string unixFolder = folder.substr(3);
    std::replace(unixFolder.begin(), unixFolder.end(), '\\', '/');
    fs::path cacheDir = winePrefix() / "drive_c" / unixFolder;
    ASSERT_TRUE(fs::is_directory(cacheDir)) << cacheDir;

    // The temporary's name without its process number is the finished cache's prefix.
    std::string temporary = options[3].substr(name);
    std::string prefix = temporary.substr(0, temporary.rfind('-') + 1);
    EXPECT_EQ(prefix.rfind("app.exe-", 0), 0u);
    writeFile(cacheDir / (prefix + "7.jsa"), "archive");
    r = run(exe);
    options = records(r.out).options;
    ASSERT_EQ(options.size(), 6u) << r.out;
    EXPECT_EQ(options[3], "-XX:SharedArchiveFile=" + folder + prefix + "7.jsa");
    fs::remove(cacheDir / (prefix + "7.jsa"));
}

} // namespace
} // namespace tarn::test
