// Loading and creation, against the fakejvm double (which records every call it
// gets as a "FAKEJVM ..." line) and against libraries that are no Java runtime.
#include "jvm/probe_support.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

const std::string fakeJvm = nativePath(TARN_FAKEJVM);
const char pathSeparator = onWindows ? ';' : ':';

// The directory the host appends to PATH for a library: its own folder plus "..".
std::string retryDirectory(const std::string& library) {
    return library.substr(0, library.find_last_of("/\\") + 1) + "..";
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class JavaHostLoading : public ::testing::Test {
  protected:
    void SetUp() override {
        if (childProcessesAreSlow())
            GTEST_SKIP() << "every child process start is slow here";
    }
};

TEST_F(JavaHostLoading, CreatesTheVmWithAllOptionsInOrder) {
    ProbeRun run = runProbe({"--lib", fakeJvm, "--option", "-Dtarn.a=1", "--option", "-Xmx64m",
                             "--option", "-Dtarn.a=2", "--option", "--no-such-option"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM create version=0x10002 options=4 ignoreUnrecognized=1"))
        << run.out;
    EXPECT_TRUE(run.has("FAKEJVM option[0]=-Dtarn.a=1")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM option[1]=-Xmx64m")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM option[2]=-Dtarn.a=2")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM option[3]=--no-such-option")) << run.out;
    EXPECT_TRUE(run.has("create=0")) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST_F(JavaHostLoading, UnloadDetachesThenDestroysOnce) {
    // The probe unloads twice; the second call must find nothing to do.
    ProbeRun run = runProbe({"--lib", fakeJvm});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM create version=0x10002 options=0 ignoreUnrecognized=1"));
    int detach = lineIndex(run.out, "FAKEJVM detach");
    int destroy = lineIndex(run.out, "FAKEJVM destroy");
    int unloaded = lineIndex(run.out, "unloaded");
    ASSERT_GE(detach, 0) << run.out;
    EXPECT_LT(detach, destroy);
    EXPECT_LT(destroy, unloaded);
    EXPECT_FALSE(contains(run.out.substr(run.out.find("FAKEJVM destroy") + 1), "FAKEJVM destroy"));
}

TEST_F(JavaHostLoading, VmThatFailsToStartGivesFour) {
    ScopedEnv fail("FAKEJVM_CREATE_FAIL", "1");
    ProbeRun run = runProbe({"--lib", fakeJvm, "--option", "-Dx=y", "--version"});
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(run.has("FAKEJVM create failed")) << run.out;
    EXPECT_TRUE(run.has("create=4")) << run.out;
    // No VM: nothing may be asked of it, not even when unloading.
    EXPECT_FALSE(contains("\n" + run.out, "\nversion"));
    EXPECT_FALSE(contains(run.out, "getProperty"));
    EXPECT_FALSE(contains(run.out, "FAKEJVM detach"));
    EXPECT_FALSE(contains(run.out, "FAKEJVM destroy"));
    EXPECT_TRUE(run.has("unloaded"));
    EXPECT_EQ(run.err, "");
}

TEST_F(JavaHostLoading, LibraryWithoutTheEntryPointGivesTwoSilently) {
    ProbeRun run = runProbe({"--lib", nativePath(TARN_FAKEJVM_NOENTRY), "--print-path"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.has("create=2")) << run.out;
    EXPECT_EQ(run.err, "");
    // It loaded at the first attempt, so PATH was left alone.
    std::string path = run.out.substr(run.out.find("PATH=") + 5);
    EXPECT_FALSE(contains(path, retryDirectory(nativePath(TARN_FAKEJVM_NOENTRY))));
}

TEST_F(JavaHostLoading, MissingLibraryIsReportedAfterThePathRetry) {
    TempDir temp;
    std::string library = (temp / "jre" / "bin" / "server" / "jvm.dll").string();
    ScopedEnv path("PATH",
                   (std::string(onWindows ? "C:\\windows\\system32" : "/usr/bin:/bin")).c_str());
    ProbeRun run = runProbe({"--lib", library, "--print-path"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.has("create=2")) << run.out;
    // The runtime's bin folder goes last, after a separator, never first.
    std::string expected =
        "PATH=" + std::string(getenv("PATH")) + pathSeparator + retryDirectory(library);
    EXPECT_TRUE(run.has(expected)) << run.out << "\nwanted: " << expected;
    // One line from the system, printed with a line break of our own.
    EXPECT_GT(run.err.size(), 1u);
    EXPECT_TRUE(endsWith(run.err, "\n"));
    if (!onWindows) { // Windows' text for a missing module does not name it
        EXPECT_TRUE(contains(run.err, library)) << run.err;
    }
}

TEST_F(JavaHostLoading, RetryWithoutPathStartsPathWithTheSeparator) {
    TempDir temp;
    std::string library = (temp / "server" / "jvm.dll").string();
    ProbeRun run = runProbe({"--lib", library, "--unset-path", "--print-path"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.has("PATH=" + std::string(1, pathSeparator) + retryDirectory(library)))
        << run.out;
}

TEST_F(JavaHostLoading, FileThatIsNoLibraryIsReportedWithItsPath) {
    // The system's text for this failure names the file ("%1" on Windows); a
    // "%1" within the path itself must come out unchanged.
    TempDir temp;
    std::string library = (temp / "odd%1dir" / "jvm.dll").string();
    writeFile(library, "this is not a shared library\n");
    ProbeRun run = runProbe({"--lib", library});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.has("create=2")) << run.out;
    EXPECT_TRUE(contains(run.err, library)) << run.err;
    size_t first = run.err.find("%1");
    EXPECT_EQ(run.err.find("%1", first + 1), std::string::npos) << run.err;
}

TEST_F(JavaHostLoading, RuntimeNeedingItsBinFolderLoadsOnTheRetry) {
    const std::string needsCompanion = TARN_FAKEJVM_NEEDS_COMPANION;
    if (needsCompanion.empty())
        GTEST_SKIP() << "only Windows looks for a library's dependencies on PATH";
    // The shape of a runtime: bin/server/jvm.dll whose companions live in bin/.
    TempDir temp;
    fs::path bin = temp / "jre" / "bin";
    fs::create_directories(bin / "server");
    fs::copy_file(nativePath(needsCompanion), bin / "server" / "jvm.dll");
    fs::copy_file(nativePath(TARN_FAKEJVM_COMPANION),
                  bin / fs::path(nativePath(TARN_FAKEJVM_COMPANION)).filename());
    std::string library = (bin / "server" / "jvm.dll").string();
    ProbeRun run = runProbe({"--lib", library, "--print-path"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.has("create=0")) << run.out;
    EXPECT_TRUE(run.has("PATH=" + std::string(getenv("PATH")) + ";" + retryDirectory(library)))
        << run.out;
    EXPECT_EQ(run.err, "");
}

} // namespace
} // namespace tarn::test
