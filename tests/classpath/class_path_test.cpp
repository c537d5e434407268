#include "classpath/class_path.h"

#include "runtime/app_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tarn::test {
namespace {

const std::string sep(1, platform::classPathSeparator);

std::vector<std::string> entries(const std::string& classPath) {
    std::vector<std::string> list;
    size_t start = 0;
    for (;;) {
        size_t end = classPath.find(platform::classPathSeparator, start);
        list.push_back(classPath.substr(start, end - start));
        if (end == std::string::npos)
            return list;
        start = end + 1;
    }
}

std::vector<std::string> sorted(std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
}

class ClassPath : public ::testing::Test {
  protected:
    std::string build(const std::string& lines) {
        return text(ClassPathBuilder::build(app.reconfigure(lines)));
    }
    std::string scan(const std::string& directory) {
        ByteString out;
        ClassPathBuilder::scanArchives(directory.c_str(), out);
        return text(out);
    }

    ScopedEnv classPath{"CLASSPATH", nullptr};
    ScopedEnv classPathAlt{"CLASS_PATH", nullptr};
    AppSetup app;
};

TEST_F(ClassPath, GroupsComeInFixedOrder) {
    EXPECT_EQ(build(""), app.exePath());
    place(app.home + "lib/x.jar");
    ScopedEnv first("CLASSPATH", "env1");
    ScopedEnv second("CLASS_PATH", "env2");
    // Text order does not matter across keys: libs stands first here.
    EXPECT_EQ(build("libs lib\nclasspath a.jar\nclasspath /abs/b.jar"),
              app.exePath() + sep + app.home + "a.jar" + sep + "/abs/b.jar" + sep + app.home +
                  "lib/x.jar" + sep + "env1" + sep + "env2");
}

TEST_F(ClassPath, ConfiguredEntriesAreSplitThenExpandedThenResolved) {
    EXPECT_EQ(build("classpath ;;" + sep + sep), app.exePath());
    EXPECT_EQ(build("classpath ;a.jar;;b.jar;\nclasspath c.jar"),
              app.exePath() + sep + app.home + "a.jar" + sep + app.home + "b.jar" + sep + app.home +
                  "c.jar");
    place(app.workDir() + "work.jar");
    place(app.home + "both.jar");
    place(app.workDir() + "both.jar");
    EXPECT_EQ(build("classpath work.jar;both.jar"),
              app.exePath() + sep + app.workDir() + "work.jar" + sep + app.home + "both.jar");

    // A variable holding several entries stays one piece: only its start is resolved.
    const std::string two = "x.jar" + sep + "y.jar";
    ScopedEnv several("TARN_TEST_ENTRIES", two.c_str());
    EXPECT_EQ(build("classpath %TARN_TEST_ENTRIES%"), app.exePath() + sep + app.home + two);
    EXPECT_EQ(build("classpath %APPLICATION_HOME%lib/z.jar"),
              app.exePath() + sep + app.home + "lib/z.jar");
}

TEST_F(ClassPath, EntriesWrittenForWindowsWorkOnLinux) {
    if (onWindows)
        GTEST_SKIP() << "Linux splits at both separators";
    EXPECT_EQ(build("classpath a.jar;b.jar:c.jar"),
              app.exePath() + ":" + app.home + "a.jar:" + app.home + "b.jar:" + app.home + "c.jar");
    // A piece that expands to nothing resolves to the application home.
    ScopedEnv empty("TARN_TEST_EMPTY", "");
    EXPECT_EQ(build("classpath $TARN_TEST_EMPTY"), app.exePath() + ":" + app.home);
}

TEST_F(ClassPath, ArchivesAreJarAndZipInAnyCase) {
    const std::string lib = app.home + "lib/";
    for (const char* name :
         {"a.jar", "B.JAR", "c.Zip", "d.jar.bak", "jar", "e.txt", "f.zip", "g-1.2.jar"})
        place(lib + name);
    EXPECT_EQ(sorted(entries(scan(lib))), sorted({"", lib + "B.JAR", lib + "a.jar", lib + "c.Zip",
                                                  lib + "f.zip", lib + "g-1.2.jar"}));
    EXPECT_EQ(scan(lib).substr(0, 1), sep);
}

TEST_F(ClassPath, SubdirectoriesAreScannedDepthFirst) {
    const std::string lib = app.home + "lib";
    for (const char* name :
         {"top.jar", "one/a.jar", "one/deeper/b.jar", "one/deeper/c.zip", "one/d.jar", "two/e.jar",
          "dir.jar/inner.zip", "two/empty/x.txt", "z.zip"})
        place(lib + "/" + name);
    std::vector<std::string> found = entries(scan(lib));
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front(), "");
    found.erase(found.begin());
    EXPECT_EQ(sorted(found),
              sorted({lib + "/top.jar", lib + "/one/a.jar", lib + "/one/deeper/b.jar",
                      lib + "/one/deeper/c.zip", lib + "/one/d.jar", lib + "/two/e.jar",
                      lib + "/dir.jar/inner.zip", lib + "/z.zip"}));
    // A pre-order walk in the file system's order: each subdirectory's archives
    // stand where the subdirectory was met.
    std::vector<std::string> walk;
    for (const auto& entry : fs::recursive_directory_iterator(lib)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_directory() && name != "x.txt")
            walk.push_back(entry.path().generic_string());
    }
    for (std::string& entry : found)
        entry = fs::path(entry).generic_string();
    EXPECT_EQ(found, walk);
}

TEST_F(ClassPath, LibsDirectoriesKeepTheirSeparatorsAndMayBeMissing) {
    place(app.home + "lib/x.jar");
    const std::string base = app.exePath() + sep;
    EXPECT_EQ(build("libs lib"), base + app.home + "lib/x.jar");
    EXPECT_EQ(build("libs lib/"), base + app.home + "lib/x.jar");
    if (onWindows) {
        EXPECT_EQ(build("libs lib\\"), base + app.home + "lib\\x.jar");
    }
    EXPECT_EQ(build("libs missing\nlibs lib/x.jar"), app.exePath());
    // Expanded but never split.
    EXPECT_EQ(build("libs %APPLICATION_HOME%lib"), base + app.home + "lib/x.jar");
    EXPECT_EQ(build("libs lib;lib"), app.exePath());
    // Two lines scan twice; an empty value scans the application home itself.
    EXPECT_EQ(build("libs lib\nlibs lib"),
              base + app.home + "lib/x.jar" + sep + app.home + "lib/x.jar");
    EXPECT_EQ(build("libs"), base + app.home + "lib/x.jar");
    // Found below the working directory when not beside the application.
    place(app.workDir() + "extra/w.zip");
    EXPECT_EQ(build("libs extra"), base + app.workDir() + "extra/w.zip");
}

TEST_F(ClassPath, EnvironmentVariablesAddTheirEntriesButNeverTheWorkingDirectory) {
    {
        ScopedEnv first("CLASS_PATH", "same");
        EXPECT_EQ(build(""), app.exePath() + sep + "same");
        ScopedEnv second("CLASSPATH", "same");
        EXPECT_EQ(build(""), app.exePath() + sep + "same" + sep + "same");
    }
    {
        std::string value = sep + "a" + sep + sep + "." + sep + "b" + sep;
        ScopedEnv both("CLASSPATH", value.c_str());
        ScopedEnv dot("CLASS_PATH", ".");
        EXPECT_EQ(build(""), app.exePath() + sep + "a" + sep + "b");
    }
    if (onWindows)
        return; // Windows cannot hold a defined but empty variable.
    ScopedEnv empty("CLASSPATH", "");
    EXPECT_EQ(build(""), app.exePath());
}

TEST_F(ClassPath, TheExecutableComesFromTheOperatingSystemWhenNotRecorded) {
    LaunchConfig bare(false);
    ByteString exe;
    ASSERT_TRUE(platform::executablePath(exe));
    EXPECT_EQ(text(ClassPathBuilder::build(bare)), text(exe));
}

TEST_F(ClassPath, LinkedDirectoriesAreNotFollowed) {
    if (onWindows)
        GTEST_SKIP() << "symbolic links are a Linux matter here";
    const std::string lib = app.home + "lib";
    place(lib + "/x.jar");
    place(app.home + "other/y.jar");
    fs::create_directory_symlink(lib, lib + "/loop");
    fs::create_directory_symlink(app.home + "other", lib + "/other");
    fs::create_symlink(lib + "/x.jar", lib + "/alias.jar");
    EXPECT_EQ(sorted(entries(scan(lib))), sorted({"", lib + "/x.jar", lib + "/alias.jar"}));
}

} // namespace
} // namespace tarn::test
