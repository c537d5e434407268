// Process-level settings: working directory, redirection, single instance
// and interrupts.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <unistd.h>

namespace tarn::test {
namespace {

TEST(Process, ForcedWorkingDirectoryResolvesAgainstTheApplicationHome) {
    TempDir dir;
    fs::create_directories(dir / "apps/bin");
    fs::create_directories(dir / "data");
    fs::path exe = wrap(dir / "apps/bin", "app",
                        "forcecwd ../../data\r\noption -Decho.props=user.dir\r\n"
                        "property where=%PWD%\r\nproperty echo.props=user.dir,where\r\n");
    Outcome r = run(exe, {}, {}, fs::temp_directory_path());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string data = (dir / "data").string();
    EXPECT_TRUE(contains(r.out, "prop user.dir=" + data + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop where=" + data + "/\n")) << r.out;

    fs::path missing =
        wrap(dir.path(), "missing", "forcecwd nowhere\r\nproperty echo.props=user.dir\r\n");
    r = run(missing, {}, {}, dir / "data");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "prop user.dir=" + data + "\n")) << r.out;
}

TEST(Process, RedirectionAppendsToFilesSharedByBothStreams) {
    TempDir dir;
    fs::create_directories(dir / "work");
    writeFile(dir / "work/all.log", "kept\n");
    fs::path exe =
        wrap(dir.path(), "app",
             "forcecwd work\r\nstdout all.log\r\nstderr all.log\r\nmainclass app.Missing\r\n");
    Outcome r = run(exe);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    std::string log = readFile(dir / "work/all.log");
    EXPECT_EQ(log.rfind("kept\n", 0), 0u) << log;
    EXPECT_TRUE(contains(log, "app/Missing")) << log;
    EXPECT_TRUE(contains(log, "The main startup class could not be found.\n")) << log;

    fs::path split = wrap(dir.path(), "split", "stdout out.log\r\nstderr err.log\r\n");
    r = run(split, {"one"}, {}, dir.path());
    EXPECT_EQ(r.out + r.err, "");
    r = run(split, {"two"}, {}, dir.path());
    EXPECT_EQ(readFile(dir / "out.log"), "args=1\narg=one\nargs=1\narg=two\n");
    EXPECT_EQ(readFile(dir / "err.log"), "echo done\necho done\n");

    fs::path unwritable = wrap(dir.path(), "unwritable", "stdout missing-dir/out.log\r\n");
    r = run(unwritable, {"shown"});
    EXPECT_EQ(r.out, "args=1\narg=shown\n");
}

TEST(Process, RedirectionIntoACommandLosesNothing) {
    TempDir dir;
    fs::path exe = wrap(dir.path(), "app",
                        "stdout |tr a-z A-Z > " + (dir / "upper.txt").string() +
                            "\r\n"
                            "stderr |sed s/^/err:/ >> " +
                            (dir / "upper.txt").string() +
                            "\r\n"
                            "argv first second\r\n");
    Outcome r = run(exe);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string text = readFile(dir / "upper.txt");
    EXPECT_TRUE(contains(text, "ARGS=2\nARG=FIRST\nARG=SECOND\n")) << text;
    EXPECT_TRUE(contains(text, "err:echo done\n")) << text;
}

TEST(Process, SecondInstanceOfTheSamePathIsRefused) {
    TempDir dir;
    std::string config = "singleinstance TRUE\r\nmainclass app.Sleeper\r\nstderr errors.log\r\n";
    fs::path exe = wrap(dir.path(), "app", config);
    fs::path copy = wrap(dir.path(), "copy", config);
    Background first = start(exe, dir.path());
    ASSERT_TRUE(first.waitForOutput("ready"));

    Outcome second = run(exe, {}, {}, dir.path());
    EXPECT_EQ(second.status, 11);
    EXPECT_EQ(second.err, "");
    EXPECT_EQ(readFile(dir / "errors.log"),
              "There is already an instance of this program running.\n");

    Background other = start(copy, dir.path()); // another path is another program
    EXPECT_TRUE(other.waitForOutput("ready"));
    kill(other.pid, SIGKILL);
    other.finish();

    fs::path blank = wrap(dir.path(), "blank", "singleinstance true \r\nmainclass app.Thrower\r\n");
    Background unguarded = start(blank, dir.path());
    EXPECT_EQ(run(blank).status, 1); // "true " is not true: no guard (Thrower fails)
    unguarded.finish();

    kill(first.pid, SIGKILL);
    first.finish();
    Outcome after = run(exe, {}, {}, dir.path()); // the lock died with its process
    EXPECT_NE(after.status, 11);
}

TEST(Process, InterruptEndsTheApplicationWithStatusZero) {
    TempDir dir;
    fs::path exe = wrap(dir.path(), "app", "mainclass app.Sleeper\r\n");
    for (int sig : {SIGINT, SIGTERM}) {
        Background app = start(exe, dir.path());
        ASSERT_TRUE(app.waitForOutput("ready"));
        kill(app.pid, sig);
        Outcome r = app.finish();
        EXPECT_EQ(r.status, 0) << sig << r.err;
        EXPECT_FALSE(contains(r.out, "woke up"));
    }
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Process, InterruptsStillCountWhileTheVmWaitsForApplicationThreads) {
    TempDir dir;
    for (const Jdk& jdk : installedJdks()) {
        fs::path exe = wrap(dir.path(), "lingering",
                            "mainclass app.Lingerer\r\njvmdll " + jdk.library.string() + "\r\n");
        for (int sig : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(jdk.home.string() + (sig == SIGINT ? " SIGINT" : " SIGTERM"));
            Background app = start(exe, dir.path());
            // main has returned and its thread left the VM: the launcher is destroying it.
            ASSERT_TRUE(app.waitForOutput("main gone"));
            kill(app.pid, sig);
            Outcome r = app.finish();
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(count(r.out, "hook ran"), 1u) << r.out;
            EXPECT_FALSE(contains(r.out, "lingered"));
        }
    }
}

TEST(Process, AnInterruptIgnoredAtStartStaysIgnored) {
    TempDir dir;
    fs::path exe = wrap(dir.path(), "nohup", "mainclass app.Lingerer\r\n");
    Background app = start(exe, dir.path(), {}, {}, [] { signal(SIGINT, SIG_IGN); });
    ASSERT_TRUE(app.waitForOutput("main gone"));
    std::string status = readFile("/proc/" + std::to_string(app.pid) + "/status");
    size_t ignored = status.find("SigIgn:");
    ASSERT_NE(ignored, std::string::npos);
    EXPECT_TRUE(std::stoull(status.substr(ignored + 7), nullptr, 16) & (1ull << (SIGINT - 1)));
    kill(app.pid, SIGINT);
    // Still running: more ticks come after the interrupt.
    size_t ticks = count(readFile(app.out), "tick");
    std::string more;
    for (size_t i = 0; i < ticks + 3; ++i)
        more += "tick\n";
    EXPECT_TRUE(app.waitForOutput(more));
    kill(app.pid, SIGTERM);
    Outcome r = app.finish();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "hook ran"));
}

TEST(Process, EachUserHasAnInstanceLockOfTheirOwn) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start the program as a second user";
    const uid_t other = 65534;
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::path exe = wrap(dir.path(), "app", "singleinstance true\r\nmainclass app.Sleeper\r\n");
    std::string name = (exe.string() + ".tarn").replace(0, 1, ".");
    for (char& c : name)
        c = c == '/' ? '.' : c;
    // The name every user shared in /tmp, planted as a link: nobody follows it.
    fs::create_symlink(dir / "victim", "/tmp/" + name);
    // A runtime folder that anyone may write to is not trusted.
    Environment env = {{"XDG_RUNTIME_DIR", "/tmp"}};
    auto asOther = [other] {
        if (setgroups(0, nullptr) != 0 || setgid(other) != 0 || setuid(other) != 0)
            _exit(126);
    };

    Background first = start(exe, dir.path(), {}, env);
    ASSERT_TRUE(first.waitForOutput("ready"));
    Background second = start(exe, dir.path(), {}, env, asOther);
    EXPECT_TRUE(second.waitForOutput("ready")); // another user's lock does not keep it out
    Outcome third = run(exe, {}, env, dir.path(), asOther);
    EXPECT_EQ(third.status, 11); // but the same user's does
    EXPECT_EQ(third.err, "There is already an instance of this program running.\n");

    fs::path mine = "/tmp/tarn-0", theirs = "/tmp/tarn-" + std::to_string(other);
    struct stat st;
    ASSERT_EQ(stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((mine / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(fs::exists(dir / "victim"));
    fs::remove("/tmp/" + name);
    for (const Background* app : {&first, &second}) {
        kill(app->pid, SIGKILL);
        app->finish();
    }

    // A private runtime folder holds the lock itself.
    fs::create_directory(dir / "run");
    fs::permissions(dir / "run", fs::perms::owner_all);
    Outcome r = run(wrap(dir.path(), "quick", "singleinstance true\r\n"), {},
                    {{"XDG_RUNTIME_DIR", (dir / "run").string()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::directory_iterator(dir / "run")->path().filename().string().substr(0, 1), ".");
}

} // namespace
} // namespace tarn::test
