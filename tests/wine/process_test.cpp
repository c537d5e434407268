// Process-level settings of a wrapped Windows program: forced working
// directory, output redirection, single instance and the console interrupt.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace tarn::test {

void interruptWhileMainRuns(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "interrupted",
                        lines({"mainclass app/Main", "jvmdll " + windowsPath(target.runtime())}));
    Background app(exe, dir, {{"FAKEJVM_BLOCK", "1"}}, dir);
    ASSERT_TRUE(app.waitForOutput("FAKEJVM blocking")) << app.output();
    // Wine turns SIGINT into the console's Ctrl+C event.
    app.signal(SIGINT);
    Outcome r = app.finish();
    EXPECT_EQ(r.status, 0) << r.err;
    Records got = records(r.out);
    EXPECT_TRUE(got.has("attach"));
    EXPECT_TRUE(got.has("exit 0"));
}

namespace {

std::string base(const Target& target) {
    return lines({"mainclass app/Main", "jvmdll " + windowsPath(target.runtime())});
}

} // namespace

Start sharedLogFile(const Target& target, const fs::path& dir) {
    writeFile(dir / "work/all.log", "kept\r\n");
    fs::path exe =
        wrap(target, dir, "shared",
             base(target) + lines({"forcecwd work", "stdout all.log", "stderr all.log"}));
    Start s{"both streams appended to one file", exe, {}, {{"FAKEJVM_NO_CLASS", "1"}}, dir, {}, {}};
    fs::path log = dir / "work/all.log";
    s.check = [log](const Outcome& r) {
        EXPECT_EQ(r.status, 7);
        EXPECT_EQ(r.out + r.err, "");
        std::string text = readFile(log);
        EXPECT_EQ(text.rfind("kept\r\nFAKEJVM default args ", 0), 0u) << text;
        EXPECT_TRUE(contains(text, "java.lang.NoClassDefFoundError: app/Main")) << text;
        EXPECT_TRUE(contains(text, "FAKEJVM destroy\n")) << text;
        // The launcher's line is written in text mode: CR LF.
        EXPECT_TRUE(contains(text, message::noClass + "\r\n")) << text;
    };
    return s;
}

namespace {

using Win64Process = Win64Test;

// A file that another process finishes writing; "" when it never shows `text`.
std::string waitForFile(const fs::path& file, const std::string& text) {
    auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < until) {
        std::string content = readFile(file);
        if (contains(content, text))
            return content;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return readFile(file);
}

// A directory on drive C: of the Wine prefix, removed at scope exit.
class DriveCDir {
  public:
    DriveCDir() {
        path_ = winePrefix() / "drive_c" / ("tarn-test-" + std::to_string(getpid()));
        fs::create_directories(path_);
    }
    ~DriveCDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

TEST_F(Win64Process, ForcedWorkingDirectoryForms) {
    const fs::path& d = dir.path();
    fs::path bin = d / "apps/bin";
    for (const char* sub : {"apps/bin", "data", "rooted", "abs", "slash", "cwd/local", "cwd/x"})
        fs::create_directories(d / sub);
    // A drive-relative value must not be joined to the application home.
    fs::create_directories(bin / "local");
    DriveCDir onDriveC;

    struct Case {
        std::string what, value;
        fs::path cwd, lands;
    } cases[] = {
        {"relative to the application home", "..\\..\\data", d / "cwd", d / "data"},
        // Rooted: takes the drive of the application home, not the current one (C:).
        {"rooted", windowsPath(d / "rooted").substr(2), onDriveC.path(), d / "rooted"},
        {"drive-relative", "Z:local", d / "cwd", d / "cwd/local"},
        {"absolute", windowsPath(d / "abs"), d / "cwd", d / "abs"},
        {"absolute with a slash", (d / "slash").string(), d / "cwd", d / "slash"},
        {"missing directory: unchanged", "nowhere", d / "cwd/x", d / "cwd/x"},
    };
    std::vector<Start> starts;
    int n = 0;
    for (const Case& c : cases) {
        fs::path exe = wrap(target, bin, "app" + std::to_string(n++),
                            base(target) + lines({"forcecwd " + c.value, "stdout out.txt",
                                                  "property where=%PWD%"}));
        fs::path lands = c.lands;
        Start s{c.what + " (" + c.value + ")", exe, {}, {}, c.cwd, {}, {}};
        s.check = [lands](const Outcome& r) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out, "");
            Records got = records(readFile(lands / "out.txt"));
            EXPECT_EQ(got.properties,
                      std::vector<std::string>{"where=" + windowsPath(lands) + "/"});
        };
        starts.push_back(s);
    }
    runAll(std::move(starts), 2);
    EXPECT_FALSE(fs::exists(bin / "local/out.txt"));
    EXPECT_FALSE(fs::exists(onDriveC.path() / "out.txt"));
}

TEST_F(Win64Process, RedirectionAppendsToFilesSharedByBothStreams) {
    const fs::path& d = dir.path();
    runOne(sharedLogFile(target, d));
    Outcome r;

    fs::path split =
        wrap(target, d, "split", base(target) + lines({"stdout out.log", "stderr err.log"}));
    for (const char* word : {"one", "two"}) {
        r = run(split, {word}, {{"FAKEJVM_THROW", "1"}}, d);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out + r.err, "");
    }
    Records out = records(readFile(d / "out.log"));
    EXPECT_EQ(out.args, (std::vector<std::string>{"one", "two"}));
    std::string err = readFile(d / "err.log");
    EXPECT_EQ(count(err, "java.lang.RuntimeException: FAKEJVM_THROW"), 2u) << err;

    // Two spellings of one file are two handles: every write still lands at the end.
    writeFile(d / "twice.log", "kept\r\n");
    fs::path twice =
        wrap(target, d, "twice", base(target) + lines({"stdout twice.log", "stderr .\\twice.log"}));
    r = run(twice, {"x"}, {{"FAKEJVM_THROW", "1"}}, d);
    std::string both = readFile(d / "twice.log");
    EXPECT_EQ(both.rfind("kept\r\nFAKEJVM default args ", 0), 0u) << both;
    EXPECT_TRUE(contains(both, "FAKEJVM arg[0]=x\n")) << both;
    EXPECT_TRUE(contains(both, "java.lang.RuntimeException: FAKEJVM_THROW")) << both;
    EXPECT_TRUE(contains(both, "FAKEJVM destroy\n")) << both;

    // A target that cannot be opened leaves the stream where it was.
    fs::path unwritable =
        wrap(target, d, "unwritable", base(target) + "stdout missing-dir\\out.log\r\n");
    r = run(unwritable, {"shown"}, {}, d);
    EXPECT_EQ(records(r.out).args, std::vector<std::string>{"shown"});
}

TEST_F(Win64Process, RedirectionIntoACommand) {
    const fs::path& d = dir.path();
    fs::path exe = wrap(target, d, "piped",
                        base(target) + lines({"stdout |more > " + windowsPath(d / "out.txt"),
                                              "stderr |more > " + windowsPath(d / "err.txt"),
                                              "argv first second"}));
    Outcome r = run(exe, {}, {{"FAKEJVM_THROW", "1"}}, d);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    Records out = records(waitForFile(d / "out.txt", "FAKEJVM destroy"));
    EXPECT_EQ(out.args, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(out.has("destroy"));
    EXPECT_TRUE(contains(waitForFile(d / "err.txt", "FAKEJVM_THROW"),
                         "java.lang.RuntimeException: FAKEJVM_THROW"));

    // Both streams into one command.
    std::string command = "|more > " + windowsPath(d / "both.txt");
    fs::path both =
        wrap(target, d, "both", base(target) + lines({"stdout " + command, "stderr " + command}));
    r = run(both, {"only"}, {{"FAKEJVM_THROW", "1"}}, d);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    std::string text = waitForFile(d / "both.txt", "FAKEJVM destroy");
    EXPECT_TRUE(contains(text, "FAKEJVM arg[0]=only\n")) << text;
    EXPECT_TRUE(contains(text, "java.lang.RuntimeException: FAKEJVM_THROW")) << text;
}

TEST_F(Win64Process, SecondInstanceOfTheSamePathIsRefused) {
    const fs::path& d = dir.path();
    std::string config = base(target) + lines({"singleinstance TRUE", "stderr err.log"});
    fs::path exe = wrap(target, d, "app", config);
    fs::path copy = wrap(target, d / "elsewhere", "app", config);
    Background first(exe, d, {{"FAKEJVM_BLOCK", "1"}}, d);
    ASSERT_TRUE(first.waitForOutput("FAKEJVM blocking")) << first.output();

    Outcome second = run(exe, {}, {}, d);
    EXPECT_EQ(second.status, 11);
    EXPECT_EQ(second.out + second.err, "");
    EXPECT_EQ(readFile(d / "err.log"), message::running + "\r\n");

    // Another path is another program.
    Background other(copy, d, {{"FAKEJVM_BLOCK", "1"}}, d / "elsewhere");
    EXPECT_TRUE(other.waitForOutput("FAKEJVM blocking")) << other.output();

    // "true " is not true: no guard.
    fs::path blank = wrap(target, d, "blank", base(target) + "singleinstance true \r\n");
    Background unguarded(blank, d, {{"FAKEJVM_BLOCK", "1"}}, d);
    ASSERT_TRUE(unguarded.waitForOutput("FAKEJVM blocking")) << unguarded.output();
    EXPECT_EQ(run(blank, {}, {}, d).status, 0);

    // The mutex of a killed instance is abandoned, and taken by the next start.
    first.signal(SIGKILL);
    first.finish();
    Outcome after = run(exe, {}, {}, d);
    EXPECT_EQ(after.status, 0);
    EXPECT_TRUE(records(after.out).has("destroy"));
    EXPECT_EQ(readFile(d / "err.log"), message::running + "\r\n");
}

TEST_F(Win64Process, InterruptWhileMainRunsEndsWithStatusZero) {
    interruptWhileMainRuns(target, dir.path());
}

TEST_F(Win64Process, InterruptStillCountsWhileTheVmWaitsForApplicationThreads) {
    fs::path exe = wrap(target, dir.path(), "lingering", base(target));
    Background app(exe, dir.path(), {{"FAKEJVM_LINGER", "1"}}, dir.path());
    ASSERT_TRUE(app.waitForOutput("FAKEJVM destroy waiting")) << app.output();
    app.signal(SIGINT);
    Outcome r = app.finish();
    EXPECT_EQ(r.status, 0) << r.err;
    Records got = records(r.out);
    EXPECT_TRUE(got.has("attach")) << r.out;
    EXPECT_TRUE(got.has("exit 0")) << r.out;
}

TEST_F(Win64Process, AProgramTooLongForTheMutexNameIsStillGuarded) {
    // 255 characters of Windows path: with ".tarn" the name is past what a
    // mutex name may hold.
    size_t folder = windowsDir(dir.path()).size();
    fs::path exe = wrap(target, dir.path(), std::string(255 - folder - 4, 'l'),
                        base(target) + "singleinstance true\r\n");
    ASSERT_EQ(windowsPath(exe).size(), 255u) << windowsPath(exe);
    Background first(exe, dir.path(), {{"FAKEJVM_BLOCK", "1"}}, dir.path());
    ASSERT_TRUE(first.waitForOutput("FAKEJVM blocking")) << first.output();
    Outcome second = run(exe, {}, {}, dir.path());
    EXPECT_EQ(second.status, 11);
    EXPECT_EQ(second.err, message::running + "\n");
    EXPECT_EQ(second.out, ""); // no mutex error
}

} // namespace
} // namespace tarn::test
