// Calls into Java against the fakejvm double, which checks the JNI rules a real
// VM enforces only by crashing: a call with an exception pending, a reference
// used after deletion, an environment used on the wrong thread.
#include "jvm/probe_support.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

const std::string fakeJvm = nativePath(TARN_FAKEJVM);

class JavaCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        if (childProcessesAreSlow())
            GTEST_SKIP() << "every child process start is slow here";
    }
    ScopedEnv mainClass{"FAKEJVM_MAIN_CLASS", "com/example/App"};
};

TEST_F(JavaCalls, ReadsTheVersionAsAnsiText) {
    {
        ScopedEnv version("FAKEJVM_VERSION", "1.6.0_45");
        ProbeRun run = runProbe({"--lib", fakeJvm, "--version"});
        EXPECT_TRUE(run.has("version=1.6.0_45")) << run.out << run.err;
        EXPECT_EQ(run.status, 0);
    }
    {
        // A null java.version is an empty version, not a failure.
        ScopedEnv version("FAKEJVM_VERSION", "<null>");
        ProbeRun run = runProbe({"--lib", fakeJvm, "--version"});
        EXPECT_TRUE(run.has("version=")) << run.out << run.err;
        EXPECT_EQ(run.status, 0);
    }
    {
        ScopedEnv noSystem("FAKEJVM_NO_SYSTEM", "1");
        ProbeRun run = runProbe({"--lib", fakeJvm, "--version"});
        EXPECT_TRUE(run.has("version-unavailable")) << run.out << run.err;
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(JavaCalls, SetsPropertiesAndSurvivesOnesJavaRejects) {
    // An empty name makes setProperty throw; the next call must still be allowed.
    ProbeRun run =
        runProbe({"--lib", fakeJvm, "--property", "app.name=Tarn \xC3\xA9t\xC3\xA9", "--property",
                  "=orphan", "--property", "flag", "--property", "eq=a=b", "--version"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM property app.name=Tarn \xC3\xA9t\xC3\xA9")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM property flag=")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM property eq=a=b")) << run.out;
    EXPECT_TRUE(run.has("version=17.0.2")) << run.out;
    EXPECT_FALSE(contains(run.out, "orphan"));
    EXPECT_EQ(run.err, "");
}

TEST_F(JavaCalls, PassesWordsThenArgumentsThenExtras) {
    ProbeRun run =
        runProbe({"--lib", fakeJvm, "--main", "com.example.App", "--argv", "one \"two three\"",
                  "--argv", "  ", "--argv", "\"\"", "--extra", "tail", "--", "cmd arg", "last"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM main com/example/App argc=6")) << run.out;
    int first = lineIndex(run.out, "FAKEJVM arg[0]=one");
    ASSERT_GE(first, 0) << run.out;
    EXPECT_EQ(lineIndex(run.out, "FAKEJVM arg[1]=two three"), first + 1);
    EXPECT_EQ(lineIndex(run.out, "FAKEJVM arg[2]="), first + 2);
    EXPECT_EQ(lineIndex(run.out, "FAKEJVM arg[3]=cmd arg"), first + 3);
    EXPECT_EQ(lineIndex(run.out, "FAKEJVM arg[4]=last"), first + 4);
    EXPECT_EQ(lineIndex(run.out, "FAKEJVM arg[5]=tail"), first + 5);
    EXPECT_TRUE(run.has("main=0"));
    EXPECT_EQ(run.err, "");
}

TEST_F(JavaCalls, SlashedClassNameAndNoArguments) {
    ProbeRun run = runProbe({"--lib", fakeJvm, "--main", "com/example/App"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM main com/example/App argc=0")) << run.out;
    EXPECT_TRUE(run.has("main=0"));
}

TEST_F(JavaCalls, MissingClassOrMainIsDescribedAndReported) {
    {
        ProbeRun run = runProbe({"--lib", fakeJvm, "--main", "com.example.Other"});
        EXPECT_EQ(run.status, 7);
        EXPECT_TRUE(run.has("main=7")) << run.out;
        EXPECT_TRUE(contains(run.err, "NoClassDefFoundError")) << run.err;
        EXPECT_FALSE(contains(run.out, "FAKEJVM main"));
    }
    {
        ScopedEnv noMain("FAKEJVM_NO_MAIN", "1");
        ProbeRun run = runProbe({"--lib", fakeJvm, "--main", "com.example.App"});
        EXPECT_EQ(run.status, 8);
        EXPECT_TRUE(run.has("main=8")) << run.out;
        EXPECT_TRUE(contains(run.err, "NoSuchMethodError")) << run.err;
    }
}

TEST_F(JavaCalls, ExceptionFromMainGoesToTheUncaughtHandlerAndFails) {
    ScopedEnv fail("FAKEJVM_THROW", "1");
    ProbeRun run = runProbe({"--lib", fakeJvm, "--main", "com.example.App"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.has("main=1")) << run.out;
    // Still pending when the thread detaches, which hands it to the handler.
    EXPECT_LT(lineIndex(run.out, "main=1"),
              lineIndex(run.out, "FAKEJVM uncaught java.lang.RuntimeException"));
    EXPECT_TRUE(contains(run.err, "java.lang.RuntimeException: FAKEJVM_THROW")) << run.err;
    EXPECT_TRUE(run.has("FAKEJVM destroy")) << run.out;
}

TEST_F(JavaCalls, InterruptExitsTheVmFromAnotherThread) {
    ScopedEnv block("FAKEJVM_BLOCK", "1");
    ProbeRun run = runProbe(
        {"--lib", fakeJvm, "--interrupt", "--raise-interrupt", "--main", "com.example.App"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.has("FAKEJVM attach")) << run.out;
    EXPECT_TRUE(run.has("FAKEJVM exit 0")) << run.out;
    EXPECT_FALSE(contains(run.out, "main=")) << run.out;
    EXPECT_EQ(run.err, "");
}

} // namespace
} // namespace tarn::test
