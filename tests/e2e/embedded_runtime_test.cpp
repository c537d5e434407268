// Programs that carry their own runtime: a real jlink image of the installed
// JDK, extracted into a per-test cache folder.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarn::test {
namespace {

// Each test runs in a process of its own: the jlink image of java.base (all the
// test applications need) and the program carrying it are made once per build
// tree, each under a private name renamed into place.
fs::path shared() {
    fs::path dir = fs::path(TARN_E2E_WORK) / "embedded";
    fs::create_directories(dir);
    return dir;
}

const fs::path& jlinkedRuntime() {
    static fs::path* runtime = [] {
        auto* path = new fs::path(shared() / "runtime");
        if (fs::exists(*path))
            return path;
        fs::path part = shared() / ("runtime.part-" + std::to_string(getpid()));
        fs::path jlink = fs::path(TARN_JDK_HOME) / "bin/jlink";
        ProcessResult r = runCommand(quoteArgument(jlink.string()) +
                                     " --add-modules java.base --strip-debug --no-header-files"
                                     " --no-man-pages --output " +
                                     quoteArgument(part.string()) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.out;
        std::error_code ec;
        fs::rename(part, *path, ec);
        fs::remove_all(part, ec);
        return path;
    }();
    return *runtime;
}

fs::path pack(const fs::path& out, const std::vector<std::string>& extra,
              const std::string& config = "property echo.props=java.home\r\n") {
    writeFile(out.string() + ".cfg-input", config);
    std::string command = quoteArgument(TARNPACK) + " --launcher " + quoteArgument(TARN_STUB) +
                          " --jar " + quoteArgument(javaApps().appJar.string()) + " --config " +
                          quoteArgument(out.string() + ".cfg-input") + " --out " +
                          quoteArgument(out.string());
    for (const std::string& word : extra)
        command += " " + quoteArgument(word);
    ProcessResult r = runCommand(command + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, ""); // no progress line when not on a terminal
    fs::remove(out.string() + ".cfg-input");
    return out;
}

// A copy of the Echo program carrying the jlinked runtime, made afresh when
// the stub or tarnpack changed.
fs::path withRuntime(const fs::path& out) {
    static fs::path* program = [] {
        auto* path = new fs::path(shared() / "app");
        std::error_code ec;
        auto made = fs::last_write_time(*path, ec);
        if (ec || made < fs::last_write_time(TARN_STUB) || made < fs::last_write_time(TARNPACK))
            pack(*path, {"--runtime", jlinkedRuntime().string()});
        return path;
    }();
    fs::copy_file(*program, out);
    return out;
}

// The folders below <cache>/tarn/runtimes, by name.
std::vector<std::string> cached(const fs::path& cache) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(cache / "tarn/runtimes", ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Hiding /usr/lib/jvm and mounting a small disk need a private mount namespace.
bool privateMountsWork() {
    static bool works = runCommand("/usr/bin/unshare -m /bin/true 2>/dev/null").status == 0;
    return works;
}

Environment cacheAt(const fs::path& cache) {
    return {{"XDG_CACHE_HOME", cache.string()}, {"TARN_TRACE", "1"}};
}

TEST(EmbeddedRuntime, JlinkedProgramRunsWithNoJavaOnTheMachine) {
    if (!privateMountsWork())
        GTEST_SKIP() << "unshare -m is not allowed here (it needs root)";
    TempDir dir;
    fs::path exe = pack(dir / "app", {"--jlink", "--jdk", TARN_JDK_HOME});
    ProcessResult inspect =
        runCommand(quoteArgument(TARNPACK) + " --inspect " + quoteArgument(exe.string()));
    EXPECT_TRUE(contains(inspect.out, "runtime machine: x86-64 Linux (lib/server/libjvm.so)"))
        << inspect.out;
    EXPECT_TRUE(contains(inspect.out, "runtime version: 17.")) << inspect.out;

    // No PATH, no JAVA_HOME, and /usr/lib/jvm empty in a private mount namespace.
    Environment bare = cacheAt(dir / "cache");
    bare["PATH"] = "";
    bare["JAVA_HOME"] = std::nullopt;
    std::vector<std::string> hidden = {
        "-m",         "/bin/sh",
        "-c",         "/bin/mount -t tmpfs none /usr/lib/jvm && exec \"$0\" \"$@\"",
        exe.string(), "one",
        "two"};
    Outcome first = run("/usr/bin/unshare", hidden, bare);
    EXPECT_EQ(first.status, 0) << first.err;
    std::vector<std::string> folders = cached(dir / "cache");
    ASSERT_EQ(folders.size(), 1u);
    fs::path home = dir / "cache/tarn/runtimes" / folders[0];
    EXPECT_EQ(first.out, "args=2\narg=one\narg=two\nprop java.home=" + home.string() + "\n");
    EXPECT_TRUE(contains(first.err, "tarn: embedded runtime: extracting")) << first.err;
    EXPECT_TRUE(fs::exists(home / ".tarn-complete"));
    // Permissions survive: the launcher in bin/ stays executable.
    EXPECT_NE(fs::status(home / "bin/java").permissions() & fs::perms::owner_exec, fs::perms::none);

    Outcome second = run("/usr/bin/unshare", hidden, bare);
    EXPECT_EQ(second.out, first.out);
    EXPECT_TRUE(contains(second.err, "tarn: embedded runtime: using " + home.string()))
        << second.err;
    EXPECT_FALSE(contains(second.err, "extracting")) << second.err;
}

TEST(EmbeddedRuntime, ConcurrentFirstStartsOfTwoProgramsShareOneCopy) {
    TempDir dir;
    fs::path one = withRuntime(dir / "one");
    // The same runtime in a program configured otherwise (its external file).
    fs::path two = withRuntime(dir / "two");
    writeFile(dir / "two.cfg", "argv from-two\r\n");
    std::vector<Background> starts;
    for (int i = 0; i < 4; ++i)
        starts.push_back(start(i % 2 ? one : two, dir.path(), {"run" + std::to_string(i)},
                               cacheAt(dir / "cache")));
    for (int i = 0; i < 4; ++i) {
        Outcome r = starts[size_t(i)].finish();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind(i % 2 ? "args=1\n" : "args=2\narg=from-two\n", 0), 0u) << r.out;
        EXPECT_TRUE(contains(r.out, "arg=run" + std::to_string(i) + "\nprop java.home=" +
                                        (dir / "cache/tarn/runtimes").string()))
            << r.out;
    }
    // One complete folder and no private copies left behind.
    std::vector<std::string> folders = cached(dir / "cache");
    ASSERT_EQ(folders.size(), 1u) << folders.back();
    EXPECT_EQ(folders[0].size(), 64u);
}

TEST(EmbeddedRuntime, StartKilledDuringExtractionLeavesNothingThatIsUsed) {
    TempDir dir;
    fs::path exe = withRuntime(dir / "app");
    // Killed as soon as its private copy appears, long before its ~50 MB are
    // written. On a loaded machine the victim may still finish first: then the
    // scenario is tried again with an empty cache.
    std::vector<std::string> left;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(dir / "cache");
        Background victim = start(exe, dir.path(), {}, cacheAt(dir / "cache"));
        bool seen = false;
        for (int i = 0; i < 20000 && !seen; ++i) {
            for (const std::string& name : cached(dir / "cache"))
                seen = seen || contains(name, ".part-");
            if (!seen)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        kill(victim.pid, SIGKILL);
        int status = victim.finish().status;
        left = cached(dir / "cache");
        if (seen && status == 128 + SIGKILL && left.size() == 1 && contains(left[0], ".part-"))
            break;
    }
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(contains(left[0], ".part-")) << left[0];

    Outcome next = run(exe, {"after"}, cacheAt(dir / "cache"));
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_TRUE(contains(next.err, "extracting")) << next.err;
    // The killed start's copy is cleared away; only the complete folder stays.
    std::string complete = left[0].substr(0, 64);
    EXPECT_EQ(cached(dir / "cache"), std::vector<std::string>{complete});
    EXPECT_TRUE(fs::exists(dir / "cache/tarn/runtimes" / complete / ".tarn-complete"));
    EXPECT_TRUE(
        contains(next.out, "prop java.home=" + (dir / "cache/tarn/runtimes" / complete).string()))
        << next.out;
}

TEST(EmbeddedRuntime, DamagedCacheIsExtractedAgain) {
    TempDir dir;
    fs::path exe = withRuntime(dir / "app");
    ASSERT_EQ(run(exe, {}, cacheAt(dir / "cache")).status, 0);
    fs::path home = dir / "cache/tarn/runtimes" / cached(dir / "cache")[0];
    uintmax_t modules = fs::file_size(home / "lib/modules");
    fs::remove(home / "lib/modules");
    fs::resize_file(home / "lib/server/libjvm.so", 4096);

    Outcome repaired = run(exe, {"again"}, cacheAt(dir / "cache"));
    EXPECT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_TRUE(contains(repaired.err, "extracting")) << repaired.err;
    EXPECT_EQ(fs::file_size(home / "lib/modules"), modules);
    EXPECT_EQ(cached(dir / "cache").size(), 1u);
}

TEST(EmbeddedRuntime, UnwritableOrFullCacheGivesOneLineNamingTheFolder) {
    TempDir dir;
    fs::path exe = withRuntime(dir / "app");
    writeFile(dir / "file", "not a folder");
    Outcome blocked = run(exe, {}, {{"XDG_CACHE_HOME", (dir / "file/cache").string()}});
    EXPECT_EQ(blocked.status, 14);
    EXPECT_EQ(blocked.out, "");
    std::string prefix = "The embedded Java runtime could not be extracted to " +
                         (dir / "file/cache/tarn/runtimes/").string();
    EXPECT_EQ(blocked.err.rfind(prefix, 0), 0u) << blocked.err;
    EXPECT_EQ(blocked.err.size(), prefix.size() + 64 + 2) << blocked.err;

    // A disk that fills up halfway: the same line, and the partial copy is gone.
    if (!privateMountsWork())
        return;
    fs::create_directories(dir / "small");
    Outcome full = run("/usr/bin/unshare",
                       {"-m", "/bin/sh", "-c",
                        "/bin/mount -t tmpfs -o size=8m none \"$1\" && \"$0\"; s=$?; "
                        "ls -A \"$1/tarn/runtimes\" >&2; exit $s",
                        exe.string(), (dir / "small").string()},
                       {{"XDG_CACHE_HOME", (dir / "small").string()}});
    EXPECT_EQ(full.status, 14);
    prefix = "The embedded Java runtime could not be extracted to " +
             (dir / "small/tarn/runtimes/").string();
    EXPECT_EQ(full.err.rfind(prefix, 0), 0u) << full.err;
    EXPECT_EQ(full.err.size(), prefix.size() + 64 + 2) << full.err;
}

} // namespace
} // namespace tarn::test
