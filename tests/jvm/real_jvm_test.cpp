// The VM host against every JDK installed under /usr/lib/jvm, one probe process
// per case. The Java classes come from tests/jvm/java, built at test time.
#include "jvm/probe_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

namespace tarn::test {
namespace {

struct Jdk {
    std::string home;
    std::string library; // lib/server/libjvm.so
    std::string version; // JAVA_VERSION of its release file
};

std::string releaseVersion(const fs::path& home) {
    std::string release = readFile(home / "release");
    std::string key = "JAVA_VERSION=\"";
    size_t at = release.find(key);
    if (at == std::string::npos)
        return std::string();
    at += key.size();
    return release.substr(at, release.find('"', at) - at);
}

std::vector<Jdk> findJdks() {
    std::vector<Jdk> jdks;
    std::error_code error;
    if (onWindows || !fs::is_directory("/usr/lib/jvm", error))
        return jdks;
    std::set<fs::path> seen; // the same JDK often has several names
    for (const fs::directory_entry& entry : fs::directory_iterator("/usr/lib/jvm", error)) {
        fs::path home = fs::canonical(entry.path(), error);
        if (error || !seen.insert(home).second)
            continue;
        fs::path library = home / "lib" / "server" / "libjvm.so";
        if (fs::exists(library) && fs::exists(home / "bin" / "javac") &&
            !releaseVersion(home).empty())
            jdks.push_back({home.string(), library.string(), releaseVersion(home)});
    }
    std::sort(jdks.begin(), jdks.end(), [](const Jdk& a, const Jdk& b) { return a.home < b.home; });
    return jdks;
}

class RealJvm : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        jdks_ = findJdks();
        if (jdks_.empty())
            return;
        build_ = std::make_unique<TempDir>();
        // The oldest JDK compiles, so every one of them can load the classes.
        const Jdk& oldest = oldestJdk();
        std::string sources;
        for (const fs::directory_entry& entry :
             fs::directory_iterator(fs::path(TARN_JVM_JAVA_SOURCES) / "tarn" / "probe"))
            sources += " " + quoteArgument(entry.path().string());
        std::string classes = (*build_ / "classes").string();
        jar_ = (*build_ / "probe.jar").string();
        ProcessResult compiled = runCommand(quoteArgument(oldest.home + "/bin/javac") + " -d " +
                                            quoteArgument(classes) + sources + " 2>&1");
        ProcessResult packed =
            runCommand(quoteArgument(oldest.home + "/bin/jar") + " cf " + quoteArgument(jar_) +
                       " -C " + quoteArgument(classes) + " . 2>&1");
        buildLog_ = compiled.out + packed.out;
        if (compiled.status != 0 || packed.status != 0)
            jar_.clear();
    }
    static void TearDownTestSuite() { build_.reset(); }

    void SetUp() override {
        if (jdks_.empty())
            GTEST_SKIP() << "no JDK with lib/server/libjvm.so under /usr/lib/jvm";
        ASSERT_FALSE(jar_.empty()) << buildLog_;
    }

    static const Jdk& oldestJdk() {
        const Jdk* oldest = &jdks_.front();
        for (const Jdk& jdk : jdks_)
            if (std::stoi(jdk.version) < std::stoi(oldest->version))
                oldest = &jdk;
        return *oldest;
    }

    // Runs main of a probe class with the jar as class path, on the oldest JDK.
    static ProbeRun runMain(const std::string& mainClass, std::vector<std::string> more = {},
                            const Jdk* jdk = nullptr) {
        std::vector<std::string> args = {"--lib",    (jdk ? *jdk : oldestJdk()).library,
                                         "--option", "-Djava.class.path=" + jar_,
                                         "--main",   mainClass};
        args.insert(args.end(), more.begin(), more.end());
        return runProbe(args);
    }

    static std::vector<Jdk> jdks_;
    static std::unique_ptr<TempDir> build_;
    static std::string jar_;
    static std::string buildLog_;
};

std::vector<Jdk> RealJvm::jdks_;
std::unique_ptr<TempDir> RealJvm::build_;
std::string RealJvm::jar_;
std::string RealJvm::buildLog_;

TEST_F(RealJvm, EachJdkStartsWithOptionsAndTellsItsVersion) {
    for (const Jdk& jdk : jdks_) {
        SCOPED_TRACE(jdk.home);
        // Unknown -X options are skipped; of two -D options the last one wins.
        ProbeRun run = runMain("tarn.probe.Props",
                               {"--option", "-Dtarn.opt=first", "--option", "-Dtarn.opt=second",
                                "--option", "-Xtarn-no-such-option", "--version", "--", "tarn.opt"},
                               &jdk);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(run.has("create=0")) << run.out << run.err;
        EXPECT_TRUE(run.has("version=" + jdk.version)) << run.out;
        EXPECT_TRUE(run.has("tarn.opt=[second]")) << run.out;
        EXPECT_TRUE(run.has("main=0")) << run.out;
        EXPECT_TRUE(run.has("unloaded")) << run.out;
    }
}

TEST_F(RealJvm, StartsWithoutAnyOption) {
    ProbeRun run = runProbe({"--lib", oldestJdk().library, "--version"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("version=" + oldestJdk().version)) << run.out;
    EXPECT_TRUE(run.has("unloaded"));
}

TEST_F(RealJvm, SetsSystemPropertiesSeenByTheApplication) {
    // Values are modified UTF-8; an entry without '=' sets an empty value, and
    // one Java rejects (empty name) must not disturb the ones after it.
    ProbeRun run =
        runMain("tarn.probe.Props",
                {"--property", "tarn.text=caf\xC3\xA9 \xE2\x82\xAC", "--property", "tarn.flag",
                 "--property", "=orphan", "--property", "tarn.eq=a=b", "--property",
                 "tarn.after=ok", "--", "tarn.text", "tarn.flag", "tarn.eq", "tarn.after"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("tarn.text=[caf\\u00E9 \\u20AC]")) << run.out;
    EXPECT_TRUE(run.has("tarn.flag=[]")) << run.out;
    EXPECT_TRUE(run.has("tarn.eq=[a=b]")) << run.out;
    EXPECT_TRUE(run.has("tarn.after=[ok]")) << run.out;
    EXPECT_FALSE(contains(run.err, "Exception")) << run.err;
}

TEST_F(RealJvm, ArgumentsReachMainAsUnicode) {
    ScopedEnv locale("LC_ALL", "C.UTF-8");
    for (const Jdk& jdk : jdks_) {
        SCOPED_TRACE(jdk.home);
        ProbeRun run = runMain("tarn/probe/Args",
                               {"--argv", "one \"two three\"", "--argv", " \t ", "--argv", "\"\"",
                                "--argv", "c\\\\d say\\\"hi \\\\\"x y\"", "--extra", "extra", "--",
                                "\xC3\xA9t\xC3\xA9 x", "\xE6\x97\xA5\xF0\x9F\x98\x80"},
                               &jdk);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> expected = {"count=9",
                                             "arg0=[one]",
                                             "arg1=[two three]",
                                             "arg2=[]",
                                             "arg3=[c\\u005C\\u005Cd]",
                                             "arg4=[say\"hi]",
                                             "arg5=[\\u005Cx y]",
                                             "arg6=[\\u00E9t\\u00E9 x]",
                                             "arg7=[\\u65E5\\uD83D\\uDE00]"};
        for (const std::string& line : expected)
            EXPECT_TRUE(run.has(line)) << line << "\n" << run.out;
        EXPECT_TRUE(run.has("arg8=[extra]")) << run.out;
    }
}

TEST_F(RealJvm, MissingClassOrMainMethodFails) {
    ProbeRun missing = runMain("tarn.probe.Missing");
    EXPECT_EQ(missing.status, 7);
    EXPECT_TRUE(missing.has("main=7")) << missing.out;
    EXPECT_TRUE(contains(missing.err, "NoClassDefFoundError")) << missing.err;
    EXPECT_TRUE(contains(missing.err, "tarn/probe/Missing")) << missing.err;

    ProbeRun noMain = runMain("tarn.probe.NoMain");
    EXPECT_EQ(noMain.status, 8);
    EXPECT_TRUE(noMain.has("main=8")) << noMain.out;
    EXPECT_TRUE(contains(noMain.err, "NoSuchMethodError")) << noMain.err;
    EXPECT_FALSE(contains(noMain.out, "wrong main ran"));
}

TEST_F(RealJvm, ExceptionEscapingMainIsPrintedAndFails) {
    ProbeRun run = runMain("tarn.probe.Throws");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.has("about to throw")) << run.out;
    EXPECT_TRUE(run.has("main=1")) << run.out;
    EXPECT_TRUE(contains(run.err, "java.lang.IllegalStateException: tarn test failure")) << run.err;
    EXPECT_TRUE(contains(run.err, "at tarn.probe.Throws.main")) << run.err;
}

TEST_F(RealJvm, UnloadWaitsForThreadsMainLeftRunning) {
    ProbeRun run = runMain("tarn.probe.Straggler");
    EXPECT_EQ(run.status, 0) << run.err;
    int returned = lineIndex(run.out, "main=0");
    int done = lineIndex(run.out, "straggler done");
    int unloaded = lineIndex(run.out, "unloaded");
    ASSERT_GE(returned, 0) << run.out;
    ASSERT_GE(done, 0) << run.out;
    EXPECT_LT(lineIndex(run.out, "main returns"), returned);
    EXPECT_LT(done, unloaded) << run.out;
}

TEST_F(RealJvm, InterruptOrTerminationExitsTheVmWithStatusZero) {
    if (!BackgroundProcess::supported())
        GTEST_SKIP() << "cannot interrupt a single process here";
    for (bool terminate : {false, true}) {
        SCOPED_TRACE(terminate ? "SIGTERM" : "SIGINT");
        TempDir temp;
        fs::path output = temp / "output.txt";
        BackgroundProcess probe;
        ASSERT_TRUE(
            probe.start(nativePath(TARN_JVM_PROBE),
                        {"--lib", oldestJdk().library, "--option", "-Djava.class.path=" + jar_,
                         "--interrupt", "--main", "tarn.probe.Sleeper"},
                        output.string()));
        while (probe.running() && lineIndex(readFile(output), "sleeping") < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(terminate ? probe.terminate() : probe.interrupt()) << readFile(output);
        EXPECT_EQ(probe.wait(), 0) << readFile(output);
        std::string out = readFile(output);
        // The hook shows the VM ended through System.exit, not by the signal.
        EXPECT_TRUE(contains(out, "hook ran")) << out;
        EXPECT_FALSE(contains(out, "woke up")) << out;
        EXPECT_FALSE(contains(out, "main=")) << out;
    }
}

} // namespace
} // namespace tarn::test
