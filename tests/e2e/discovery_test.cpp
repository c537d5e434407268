// Finding the runtimes installed on this machine as a user has them: without
// JAVA_HOME, by version bounds, through java on PATH, in a home's SDKMAN and
// .jdks folders, and saying what was passed over when none fits.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tarn::test {
namespace {

const Jdk* jdkOfMajor(int major) {
    for (const Jdk& jdk : installedJdks())
        if (std::stoi(jdk.version) == major)
            return &jdk;
    return nullptr;
}

std::string javaHome(const Jdk& jdk) {
    return "prop java.home=" + fs::canonical(jdk.home).string() + "\n";
}

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        old = jdkOfMajor(17);
        young = jdkOfMajor(25);
        if (old == nullptr || young == nullptr)
            GTEST_SKIP() << "needs OpenJDK 17 and Temurin 25 in /usr/lib/jvm";
    }
    fs::path wrapped(const std::string& name, const std::string& config) {
        return wrap(dir.path(), name, config + "option -Decho.props=java.home\r\n");
    }
    // Runs exe in a private mount namespace where /usr/lib/jvm is empty and its
    // runtimes are seen at dir/real instead; PATH leads to no java.
    Outcome runHidden(const fs::path& exe, Environment env) {
        fs::create_directories(dir / "real");
        env["PATH"] = "/usr/bin:/bin";
        std::string script = "mount --bind /usr/lib/jvm \"$1\" && "
                             "mount -t tmpfs tmpfs /usr/lib/jvm && PATH=/nowhere exec \"$2\"";
        return run("/usr/bin/unshare",
                   {"-m", "/bin/sh", "-c", script, "sh", (dir / "real").string(), exe.string()},
                   env);
    }
    const Jdk* old = nullptr;
    const Jdk* young = nullptr;
    TempDir dir;
};

TEST_F(Discovery, VersionBoundsChooseAmongTheInstalledRuntimes) {
    Outcome any = run(wrapped("any", ""), {}, {{"JAVA_HOME", std::nullopt}});
    EXPECT_EQ(any.status, 0) << any.err;
    EXPECT_EQ(any.err, "echo done\n") << "no trace unless asked for";

    fs::path atLeast21 = wrapped("min", "minjre 21\r\n");
    fs::path atMost17 = wrapped("max", "maxjre 17\r\n");
    for (const Jdk* javaHomeJdk : {static_cast<const Jdk*>(nullptr), old, young}) {
        Environment env = {{"JAVA_HOME", std::nullopt}};
        if (javaHomeJdk)
            env["JAVA_HOME"] = javaHomeJdk->home.string();
        SCOPED_TRACE(javaHomeJdk ? javaHomeJdk->home.string() : "no JAVA_HOME");
        Outcome r = run(atLeast21, {}, env);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, javaHome(*young))) << r.out;
        r = run(atMost17, {}, env);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, javaHome(*old))) << r.out;
    }

    // The trace tells every step of the way the choice above was made.
    Outcome traced =
        run(atLeast21, {"word"}, {{"JAVA_HOME", old->home.string()}, {"TARN_TRACE", "1"}});
    EXPECT_EQ(traced.status, 0) << traced.err;
    for (const std::string& line : std::vector<std::string>{
             "tarn: embedded configuration: ", "tarn: external configuration: none\n",
             "tarn: runtime search order: rcbsiejvpd\n", "tarn: source e: JRE_HOME and JAVA_HOME\n",
             "tarn: source d: the well-known folders\n",
             "tarn:   " + old->home.string() + ": passed over, Java " + old->version +
                 " is below the required 21\n",
             "tarn: runtime library: " + young->home.string() + "/lib/server/libjvm.so\n",
             "tarn: VM option: -Djava.class.path=", "tarn: main class: app.Echo\n",
             "tarn: argument (command line): word\n"})
        EXPECT_TRUE(contains(traced.err, line)) << line << "\n" << traced.err;
}

TEST_F(Discovery, JavaOnPathThroughAChainOfLinks) {
    fs::create_directories(dir / "links");
    fs::create_directories(dir / "bin");
    fs::create_symlink(young->home / "bin/java", dir / "links/second");
    fs::create_symlink("second", dir / "links/first");
    fs::create_symlink("../links/first", dir / "bin/java");
    // A redirect stub, as some installers put on PATH: no runtime above it.
    writeFile(dir / "javapath/java", "#!/bin/sh\nexit 3\n");
    fs::permissions(dir / "javapath/java", fs::perms::owner_all);

    fs::path exe = wrapped("p", "jre_order p\r\n");
    Outcome r = run(exe, {}, {{"PATH", (dir / "bin").string() + ":/usr/bin"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, javaHome(*young))) << r.out;
    // Only the first java counts, and the stub has no runtime library.
    r = run(exe, {}, {{"PATH", (dir / "javapath").string() + ":" + (dir / "bin").string()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Java Runtime Environment not found.\n");
}

TEST_F(Discovery, SdkmanAndJdksFoldersOfTheUsersHome) {
    if (geteuid() != 0)
        GTEST_SKIP() << "hiding /usr/lib/jvm needs a private mount namespace (root)";
    fs::path home = dir / "home", real = dir / "real";
    fs::path sdkman = home / ".sdkman/candidates/java";
    fs::create_directories(sdkman);
    fs::create_directories(home / ".jdks");
    fs::create_symlink(real / old->home.filename(), sdkman / "17.0.15-open");
    fs::create_symlink("17.0.15-open", sdkman / "current");
    fs::create_symlink(real / young->home.filename(), home / ".jdks/temurin-25");
    // A 32-bit x86 library (ELF header) beside them.
    std::string elf32(64, '\0');
    elf32.replace(0, 6,
                  "\x7F"
                  "ELF\x01\x01");
    elf32[18] = 3;
    writeFile(home / ".jdks/x86-21/lib/server/libjvm.so", elf32);
    Environment env = {{"JAVA_HOME", std::nullopt}, {"HOME", home.string()}};

    Outcome r = runHidden(wrapped("newest", ""), env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "prop java.home=" + (real / young->home.filename()).string()))
        << r.out;
    r = runHidden(wrapped("max", "maxjre 17\r\n"), env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "prop java.home=" + (real / old->home.filename()).string()))
        << r.out;

    // SDKMAN moved elsewhere: nothing fits, and the user is told why.
    env["SDKMAN_CANDIDATES_DIR"] = (dir / "elsewhere").string();
    r = runHidden(wrapped("max", "maxjre 17\r\n"), env);
    EXPECT_EQ(r.status, 1);
    std::string jdks = (home / ".jdks").string();
    std::string expected[] = {"  passed over " + jdks + "/temurin-25: Java " + young->version +
                                  " is above the allowed 17\n",
                              "  passed over " + jdks +
                                  "/x86-21: a 32-bit runtime cannot run in this 64-bit program\n"};
    EXPECT_EQ(r.err.rfind("Java Runtime Environment not found.\n", 0), 0u) << r.err;
    for (const std::string& line : expected)
        EXPECT_TRUE(contains(r.err, line)) << line << r.err;
    EXPECT_EQ(r.err.size(), 36 + expected[0].size() + expected[1].size()) << r.err;

    r = runHidden(wrapped("none", ""), {{"JAVA_HOME", std::nullopt}, {"HOME", dir.dir()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Java Runtime Environment not found.\n");
}

TEST_F(Discovery, ARuntimePlantedInTheWorkingDirectoryIsNotLoaded) {
    fs::path work = dir / "work", app = dir / "app";
    fs::create_directories(work / "lib");
    fs::create_directories(app);
    fs::create_directory_symlink(young->home, work / "jre");
    fs::create_symlink(young->library, work / "lib/libjvm.so");
    fs::path exe = wrap(app, "app", "jre_order cb\r\njvmdll lib/libjvm.so\r\n");
    Outcome r = run(exe, {}, {}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Java Runtime Environment not found.\n");
    fs::create_directory_symlink(old->home, app / "jre");
    r = run(exe, {}, {}, work);
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace
} // namespace tarn::test
