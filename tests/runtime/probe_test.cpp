#include "runtime/locator.h"

#include "runtime/app_setup.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarn::test {
namespace {

const std::string lib = platform::runtimeLibraryName;
std::string sub(int i) {
    return platform::runtimeSubPaths[i];
}

class Probe : public ::testing::Test {
  protected:
    std::string probe(const std::string& directory) {
        return text(RuntimeLocator::probeDirectory(app.config(), directory.c_str()));
    }
    // Subdirectories of directory in the order the platform enumerates them.
    static std::vector<std::string> enumerated(const std::string& directory) {
        std::vector<std::string> names;
        platform::DirectoryScan scan;
        if (!platform::openDirectory(scan, directory.c_str()))
            return names;
        while (platform::nextEntry(scan)) {
            std::string name = text(scan.name);
            if (scan.isDirectory && name != "." && name != "..")
                names.push_back(name);
        }
        platform::closeDirectory(scan);
        return names;
    }

    AppSetup app;
    const std::string rt = app.temp.dir() + "rt";
};

TEST_F(Probe, FindsARuntimeHomeWithOrWithoutTrailingSeparator) {
    place(rt + "/" + sub(1) + "server/" + lib);
    const std::string expected = rt + "/" + sub(1) + "server/" + lib;
    EXPECT_EQ(probe(rt), expected);
    EXPECT_EQ(probe(rt + "/"), expected);
    if (onWindows) {
        EXPECT_EQ(probe(rt + "\\"), rt + "\\" + sub(1) + "server/" + lib);
    }
}

TEST_F(Probe, LooksInTheCandidateAndExactlyOneLevelBelowEachBase) {
    place(rt + "/" + lib);
    EXPECT_EQ(probe(rt), rt + "/" + lib);

    // A runtime's library directory given directly, as the registry source does.
    const std::string bin = app.temp.dir() + "home/" + sub(1);
    place(bin + "server/" + lib);
    EXPECT_EQ(probe(bin), bin + "server/" + lib);

    // Two levels below a base is never reached; neither is a missing directory.
    place(app.temp.dir() + "deep/" + sub(1) + "a/b/" + lib);
    EXPECT_EQ(probe(app.temp.dir() + "deep"), "");
    EXPECT_EQ(probe(app.temp.dir() + "missing"), "");
}

TEST_F(Probe, PrefersTheConfiguredFlavourWithinOneBase) {
    app.reconfigure("vm client");
    place(rt + "/" + sub(1) + "server/" + lib);
    place(rt + "/" + sub(1) + "client/" + lib);
    EXPECT_EQ(probe(rt), rt + "/" + sub(1) + "client/" + lib);

    // A flavour the runtime lacks, next to a plain file bearing its name: the
    // scan still finds the runtime's other flavour.
    app.reconfigure("vm hotspot");
    const std::string other = app.temp.dir() + "other";
    place(other + "/" + sub(1) + "hotspot", "not a directory");
    place(other + "/" + sub(1) + "server/" + lib);
    EXPECT_EQ(probe(other), other + "/" + sub(1) + "server/" + lib);

    // The flavour value is expanded.
    ScopedEnv flavour("TARN_TEST_FLAVOUR", "client");
    app.reconfigure("vm %TARN_TEST_FLAVOUR%");
    EXPECT_EQ(probe(rt), rt + "/" + sub(1) + "client/" + lib);
}

TEST_F(Probe, AnEarlierHitWinsOverTheFlavour) {
    app.reconfigure("vm client");
    // The library directly in a base beats that base's flavour directory.
    const std::string bin = rt + "/" + sub(1);
    place(bin + lib);
    place(bin + "client/" + lib);
    EXPECT_EQ(probe(bin), bin + lib);

    // The scan of an earlier base beats the flavour of a later one.
    const std::string home = app.temp.dir() + "home";
    place(home + "/any/" + lib);
    place(home + "/" + sub(1) + "client/" + lib);
    EXPECT_EQ(probe(home), home + "/any/" + lib);
}

TEST_F(Probe, OneCharacterOrDashMeansNoFlavour) {
    const std::string bin = rt + "/" + sub(1);
    for (const char* name : {"-", "x", "y", "zz"})
        place(bin + name + "/" + lib);
    std::vector<std::string> order = enumerated(bin);
    ASSERT_EQ(order.size(), 4u);
    // At least two of "-", "x", "y" are not enumerated first, so a flavour
    // wrongly honoured would show.
    for (const char* value : {"vm -", "vm x", "vm y", "vm", ""}) {
        app.reconfigure(value);
        EXPECT_EQ(probe(rt), bin + order[0] + "/" + lib) << value;
    }
    app.reconfigure("vm zz");
    EXPECT_EQ(probe(rt), bin + "zz/" + lib);
}

TEST_F(Probe, RecognisesTheWindowsRuntimeShapes) {
    if (!onWindows)
        GTEST_SKIP() << "Windows layouts";
    const std::string dir = app.temp.dir();
    place(dir + "jre6\\bin\\client\\jvm.dll");
    EXPECT_EQ(probe(dir + "jre6"), dir + "jre6/bin\\client/jvm.dll");
    place(dir + "jdk6\\jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(probe(dir + "jdk6"), dir + "jdk6/jre\\bin\\server/jvm.dll");
    // A development kit beside its separately installed runtime.
    place(dir + "pair\\jdk\\bin\\java.exe");
    place(dir + "pair\\jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(probe(dir + "pair\\jdk"), dir + "pair\\jdk/..\\jre\\bin\\server/jvm.dll");
    // A library directly in bin is met by the scan of the home itself.
    place(dir + "flat\\bin\\jvm.dll");
    EXPECT_EQ(probe(dir + "flat"), dir + "flat/bin/jvm.dll");
}

TEST_F(Probe, RecognisesTheLinuxRuntimeShapes) {
    if (onWindows)
        GTEST_SKIP() << "Linux layouts";
    const std::string dir = app.temp.dir();
    place(dir + "jdk17/lib/server/libjvm.so");
    EXPECT_EQ(probe(dir + "jdk17"), dir + "jdk17/lib/server/libjvm.so");
    place(dir + "jre8/lib/amd64/server/libjvm.so");
    EXPECT_EQ(probe(dir + "jre8"), dir + "jre8/lib/amd64/server/libjvm.so");
    place(dir + "jdk8/jre/lib/amd64/server/libjvm.so");
    EXPECT_EQ(probe(dir + "jdk8"), dir + "jdk8/jre/lib/amd64/server/libjvm.so");
    place(dir + "pair/jdk/bin/java");
    place(dir + "pair/jre/lib/server/libjvm.so");
    EXPECT_EQ(probe(dir + "pair/jdk"), dir + "pair/jdk/../jre/lib/server/libjvm.so");
}

TEST_F(Probe, ScansDoNotFollowDirectoryLinksButTheFlavourDoes) {
    if (onWindows)
        GTEST_SKIP() << "symbolic links are a Linux matter here";
    place(app.temp.dir() + "real/libjvm.so");
    fs::create_directories(rt + "/lib");
    fs::create_directory_symlink(app.temp.path() / "real", rt + "/lib/server");
    fs::create_directory_symlink(rt, rt + "/lib/loop");
    EXPECT_EQ(probe(rt), "");
    app.reconfigure("vm server");
    EXPECT_EQ(probe(rt), rt + "/lib/server/libjvm.so");
}

} // namespace
} // namespace tarn::test
