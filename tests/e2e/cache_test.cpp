// The class-data cache of `cds auto` against the real JVMs: written by the
// first start, used by the next, renewed when the program or runtime changes,
// robust against damage and concurrent starts. Whether the JVM really used the
// cache is read from its own class-loading log, never from timings.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tarn::test {
namespace {

std::string hex(uintmax_t value) {
    char text[24];
    snprintf(text, sizeof text, "%jx", value);
    return text;
}

class Cache : public ::testing::Test {
  protected:
    // Echo with the JVM logging where each class came from into load.log.
    fs::path wrapped(const std::string& extra = "cds auto\r\n", const std::string& name = "app") {
        return wrap(dir.path(), name,
                    extra + "option -Xlog:class+load=info:file=" + (dir / "load.log").string() +
                        "\r\n");
    }
    Outcome start(const fs::path& exe, const Jdk& jdk, const Environment& more = {}) {
        Environment env = {{"JAVA_HOME", jdk.home.string()},
                           {"XDG_CACHE_HOME", (dir / "cache").string()}};
        env.insert(more.begin(), more.end());
        return run(exe, {}, env);
    }
    // Files in the cache folder, by name.
    std::vector<std::string> cacheFiles() {
        std::vector<std::string> names;
        if (fs::exists(cacheDir()))
            for (const auto& entry : fs::directory_iterator(cacheDir()))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path cacheDir() const { return dir / "cache/tarn/cds"; }
    std::string loadSource(const std::string& className) {
        std::string log = readFile(dir / "load.log");
        size_t at = log.find(" " + className + " source: ");
        return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
    }
    static bool fromCache(const std::string& source) {
        return contains(source, "source: shared objects file");
    }
    static std::string extensionFor(const Jdk& jdk) {
        return std::stoi(jdk.version) >= 25 ? ".aot" : ".jsa";
    }
    void expectEchoed(const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "args=0\n");
        EXPECT_EQ(r.err, "echo done\n");
    }
    TempDir dir;
};

TEST_F(Cache, FirstStartWritesItAndLaterStartsUseItOnEveryRuntime) {
    fs::path exe = wrapped();
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.version);
        Outcome first = start(exe, jdk);
        expectEchoed(first);
        EXPECT_FALSE(fromCache(loadSource("app.Echo"))) << loadSource("app.Echo");
        std::vector<std::string> files = cacheFiles();
        ASSERT_EQ(files.size(), 1u);
        std::string name = files[0];
        EXPECT_EQ(fs::path(name).extension(), extensionFor(jdk));
        // The size the cache was finished with is part of its name.
        EXPECT_TRUE(contains(name, "-" + hex(fs::file_size(cacheDir() / name)) + "."));
        EXPECT_EQ(fs::status(cacheDir()).permissions() & fs::perms::others_all, fs::perms::none);

        Outcome second = start(exe, jdk, {{"TARN_TRACE", "1"}});
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(second.out, "args=0\n");
        EXPECT_TRUE(contains(second.err, "tarn: class-data cache: using " +
                                             (cacheDir() / name).string() + "\n"))
            << second.err;
        EXPECT_TRUE(fromCache(loadSource("app.Echo"))) << loadSource("app.Echo");
        EXPECT_EQ(cacheFiles(), std::vector<std::string>{name});
    }
}

TEST_F(Cache, AChangedProgramOrRuntimeGetsANewCacheAndTheOldOneGoes) {
    const Jdk& jdk = installedJdks().front();
    fs::path exe = wrapped();
    start(exe, jdk);
    std::vector<std::string> before = cacheFiles();
    ASSERT_EQ(before.size(), 1u);
    // Abandoned temporaries: an old one is removed, a young one may still be written.
    fs::path stale = cacheDir() / (before[0].substr(0, before[0].find('-', 0) + 10) + "x-1.tmp");
    fs::path young = cacheDir() / (before[0].substr(0, before[0].find('-', 0) + 10) + "x-2.tmp");
    writeFile(stale, "partial");
    writeFile(young, "partial");
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(2));

    exe = wrapped("cds AUTO\r\nargv changed\r\n");
    Outcome r = start(exe, jdk);
    EXPECT_EQ(r.out, "args=1\narg=changed\n");
    std::vector<std::string> after = cacheFiles();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(after[0], before[0]);
    EXPECT_EQ(after[1], young.filename().string());
    EXPECT_FALSE(fromCache(loadSource("app.Echo")));
    start(exe, jdk);
    EXPECT_TRUE(fromCache(loadSource("app.Echo")));

    if (installedJdks().size() > 1) {
        const Jdk& other = installedJdks()[1];
        r = start(exe, other);
        EXPECT_EQ(r.out, "args=1\narg=changed\n");
        EXPECT_FALSE(fromCache(loadSource("app.Echo")));
        after = cacheFiles();
        ASSERT_EQ(after.size(), 2u);
        EXPECT_EQ(fs::path(after[0]).extension(), extensionFor(other));
        start(exe, other);
        EXPECT_TRUE(fromCache(loadSource("app.Echo")));
    }
}

TEST_F(Cache, ATruncatedCacheStillStartsQuietlyAndIsReplaced) {
    fs::path exe = wrapped();
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.version);
        fs::remove_all(dir / "cache");
        start(exe, jdk);
        ASSERT_EQ(cacheFiles().size(), 1u);
        fs::path cache = cacheDir() / cacheFiles()[0];
        fs::resize_file(cache, fs::file_size(cache) / 2);

        expectEchoed(start(exe, jdk));
        EXPECT_FALSE(fromCache(loadSource("app.Echo")));
        std::vector<std::string> files = cacheFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(contains(files[0], "-" + hex(fs::file_size(cacheDir() / files[0]))));
        expectEchoed(start(exe, jdk));
        EXPECT_TRUE(fromCache(loadSource("app.Echo")));
    }
}

TEST_F(Cache, ConcurrentFirstStartsLeaveOnlyCompleteCaches) {
    const Jdk& jdk = installedJdks().back();
    fs::path exe = wrap(dir.path(), "app", "cds auto\r\n");
    Environment env = {{"JAVA_HOME", jdk.home.string()},
                       {"XDG_CACHE_HOME", (dir / "cache").string()}};
    std::vector<Background> starts;
    for (int i = 0; i < 4; ++i)
        starts.push_back(tarn::test::start(exe, dir.path(), {}, env));
    for (const Background& b : starts)
        expectEchoed(b.finish());
    // Starts that finish together may each leave a complete cache; none is partial.
    std::vector<std::string> files = cacheFiles();
    ASSERT_GE(files.size(), 1u);
    ASSERT_LE(files.size(), starts.size());
    for (const std::string& name : files) {
        EXPECT_EQ(fs::path(name).extension(), extensionFor(jdk));
        EXPECT_TRUE(contains(name, "-" + hex(fs::file_size(cacheDir() / name)) + "."));
    }

    env["TARN_TRACE"] = "1";
    Outcome r = run(exe, {}, env);
    EXPECT_TRUE(contains(r.err, "tarn: class-data cache: using")) << r.err;
}

TEST_F(Cache, SystemExitStillFinishesTheCacheAndVmOutputStillShows) {
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.version);
        fs::remove_all(dir / "cache");
        fs::path exe = wrapped("cds auto\r\nmainclass app.Exits\r\noption -XX:+PrintVMOptions\r\n");
        Outcome r = start(exe, jdk);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, "");
        // What the VM prints reaches the user; its own note about the cache does not.
        EXPECT_TRUE(contains(r.out, "VM option '+PrintVMOptions'\n")) << r.out;
        EXPECT_TRUE(contains(r.out, "exiting\n")) << r.out;
        EXPECT_FALSE(contains(r.out, "recorded")) << r.out;
        start(exe, jdk);
        EXPECT_TRUE(fromCache(loadSource("app.Exits"))) << loadSource("app.Exits");
    }
}

TEST_F(Cache, OffUnsetOrUnsupportedWritesNothing) {
    const Jdk& jdk = installedJdks().front();
    // The JVM cannot archive from a folder on the class path, and fails if asked to.
    writeFile(dir / "classes/data.txt", "x");
    for (std::string config : {"", "cds off\r\n", "cds auto\r\noption -Xshare:off\r\n",
                               "cds auto\r\nclasspath classes\r\n"}) {
        expectEchoed(start(wrapped(config), jdk));
        EXPECT_FALSE(fs::exists(dir / "cache")) << config;
    }
    Outcome r = start(wrapped(), jdk, {{"JAVA_TOOL_OPTIONS", "-Xshare:off"}});
    EXPECT_EQ(r.out, "args=0\n");
    EXPECT_FALSE(fs::exists(dir / "cache"));
}

} // namespace
} // namespace tarn::test
