// What a user of a wrapped application sees: arguments, properties, class path,
// runtime choice, version gate, messages and exit statuses.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

class Launch : public ::testing::Test {
  protected:
    fs::path wrapped(const std::string& config, const fs::path& jar = javaApps().appJar) {
        return wrap(dir.path(), "app", config, jar);
    }
    TempDir dir;
};

TEST_F(Launch, ConfiguredWordsComeBeforeTheCommandLine) {
    fs::path exe = wrapped("argv -a\r\nargv -b \"c d\" e\\\"f\r\nargv   \r\nargv \"\"\r\n");
    Outcome r = run(exe, {"x", "y z", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", ""});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "args=9\narg=-a\narg=-b\narg=c d\narg=e\"f\narg=\narg=x\narg=y z\n"
                     "arg=\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\narg=\n");
    EXPECT_EQ(r.err, "echo done\n");
}

TEST_F(Launch, OptionsPropertiesAndTheLauncherOwnOptions) {
    fs::path exe = wrapped("option -Dfrom.option=1\r\n"
                           "option -Djava.class.path=/nowhere\r\n"
                           "option -Decho.props=from.option,utf,empty,java.class.path,"
                           "tarn.app.path,application.home\r\n"
                           "property utf=gr\xC3\xBC\xC3\x9F $ECHO_VALUE\r\n"
                           "property empty\r\n");
    Outcome r = run(exe, {}, {{"ECHO_VALUE", "v"}});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string home = dir.dir();
    EXPECT_TRUE(contains(r.out, "prop from.option=1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop utf=gr\xC3\xBC\xC3\x9F v\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop empty=\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop java.class.path=" + exe.string() + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop tarn.app.path=" + exe.string() + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "prop application.home=" + home + "\n")) << r.out;
}

TEST_F(Launch, ClassPathGroupsInOrder) {
    fs::copy_file(javaApps().libJar, dir / "lib.jar");
    fs::create_directories(dir / "libs/nested");
    fs::copy_file(javaApps().libJar, dir / "libs/nested/Second.JAR");
    fs::path exe = wrapped("mainclass app.UsesLib\r\nclasspath lib.jar;;extra\r\nlibs libs\r\n");
    Outcome r = run(exe, {}, {{"CLASSPATH", "/env/one"}, {"CLASS_PATH", ""}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "hello from lib\n");

    fs::path echo = wrap(dir.path(), "echo",
                         "option -Decho.props=java.class.path\r\n"
                         "classpath lib.jar;;extra\r\nlibs libs\r\n");
    r = run(echo, {}, {{"CLASSPATH", "/env/one"}, {"CLASS_PATH", ""}});
    EXPECT_EQ(r.out, "args=0\nprop java.class.path=" + echo.string() + ":" + dir.dir() +
                         "lib.jar:" + dir.dir() + "extra:" + dir.dir() +
                         "libs/nested/Second.JAR:/env/one\n");
}

TEST_F(Launch, AnEmptyEnvironmentClassPathLoadsNothingFromTheWorkingDirectory) {
    // A class the application needs, planted in the working directory only.
    fs::create_directories(dir / "work/lib");
    fs::copy_file(javaApps().classes / "lib/Greeting.class", dir / "work/lib/Greeting.class");
    fs::path exe = wrapped("mainclass app.UsesLib\r\n");
    for (const char* value : {"", ".", "::.:"}) {
        Outcome r = run(exe, {}, {{"CLASSPATH", value}}, dir / "work");
        EXPECT_EQ(r.status, 1) << value;
        EXPECT_EQ(r.out, "") << value;
        EXPECT_TRUE(contains(r.err, "java.lang.ClassNotFoundException: lib.Greeting")) << r.err;
    }
    // Named explicitly, the folder is used.
    Outcome named = run(exe, {}, {{"CLASSPATH", (dir / "work").string()}}, dir / "work");
    EXPECT_EQ(named.out, "hello from lib\n");
}

TEST_F(Launch, ExportsReachExpansionTheVmAndTheApplication) {
    fs::path exe = wrapped("export GREETING=hi from %APPLICATION_HOME%\r\n"
                           "export NOT_AN_ASSIGNMENT\r\nexport REMOVED=\r\n"
                           "option -Decho.env=GREETING,REMOVED\r\n"
                           "property echo.props=seen\r\nproperty seen=$GREETING!\r\n");
    Outcome r = run(exe, {}, {{"REMOVED", "present"}});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string home = dir.dir();
    EXPECT_TRUE(contains(r.out, "prop seen=hi from " + home + "!\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "env GREETING=hi from " + home + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "env REMOVED=null\n")) << r.out;
}

TEST_F(Launch, ExternalConfigurationAndItsPrecedence) {
    fs::path exe = wrapped("argv embedded\r\nproperty echo.props=who\r\nproperty who=embedded\r\n");
    writeFile(dir / "app.cfg", "\xEF\xBB\xBFproperty who=external\r\nargv external");
    Outcome r = run(exe);
    // Every property line is applied, external ones first: the embedded one is last.
    EXPECT_EQ(r.out, "args=2\narg=external\narg=embedded\nprop who=embedded\n");

    fs::path locked =
        wrap(dir.path(), "locked",
             "disableexternal true\r\nproperty echo.props=who\r\nproperty who=embedded\r\n");
    writeFile(dir / "locked.cfg", "property who=external\r\nmainclass app.Missing");
    r = run(locked);
    EXPECT_EQ(r.out, "args=0\nprop who=embedded\n");

    // mainclass is read from the embedded block only.
    writeFile(dir / "app.cfg", "mainclass app.Thrower");
    r = run(exe);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "arg=embedded")) << r.out;
}

TEST_F(Launch, AnArchiveCommentDoesNotHideTheConfiguration) {
    fs::path exe = wrapped("argv commented\r\n", javaApps().commentedJar);
    Outcome r = run(exe);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "args=1\narg=commented\n");
}

TEST_F(Launch, RuntimeChoiceFollowsTheOrderOfSources) {
    const Jdk& jdk = installedJdks().front();
    fs::path exe = wrapped("jre_order e\r\noption -Decho.props=java.home\r\n");
    Outcome r = run(exe, {}, {{"JAVA_HOME", std::nullopt}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Java Runtime Environment not found.\n");
    r = run(exe, {}, {{"JRE_HOME", ""}, {"JAVA_HOME", jdk.home.string()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "prop java.home=" + jdk.home.string())) << r.out;

    // A runtime beside the application wins over the environment by default.
    fs::create_directory_symlink(jdk.home, dir / "jre");
    fs::path beside = wrap(dir.path(), "beside", "option -Decho.props=java.home\r\n");
    r = run(beside, {}, {{"JAVA_HOME", "/nowhere"}});
    EXPECT_EQ(r.status, 0) << r.err;
    // JAVA_HOME leads nowhere: only the runtime beside the application can run it.
    EXPECT_TRUE(contains(r.out, "java.home=" + fs::canonical(jdk.home).string())) << r.out;

    fs::path configured = wrap(dir.path(), "configured", "jvmdll " + jdk.library.string() + "\r\n");
    EXPECT_EQ(run(configured, {}, {{"JAVA_HOME", std::nullopt}}).status, 0);
}

TEST_F(Launch, ResultCodesAndTheirMessages) {
    struct Case {
        std::string config;
        int status;
        std::string lastErrLine;
        Environment env = {};
    } cases[] = {
        {"mainclass app.Missing\r\n", 7, "The main startup class could not be found."},
        {"mainclass app.NoMain\r\n", 8,
         "The main startup class is not valid, main method missing."},
        {"mainclass app.Thrower\r\n", 1, "\tat app.Thrower.main(Thrower.java:5)"},
        {"jvmdll " + (dir / "app.cfg").string() + "\r\njre_order c\r\n", 2,
         "Java Runtime Environment not valid."},
        {"jre_order e\r\nmessage 1=No Java\\there, see C:\\\\Java\r\nmessage 1=second\r\n",
         1,
         "No Java\there, see C:\\Java",
         {{"JAVA_HOME", std::nullopt}}},
    };
    writeFile(dir / "app.cfg", ""); // exists, and is no library
    for (const Case& c : cases) {
        fs::path exe = wrap(dir.path(), "coded", c.config);
        Outcome r = run(exe, {}, c.env);
        EXPECT_EQ(r.status, c.status) << c.config << r.err;
        std::string err = r.err.substr(0, r.err.size() - 1);
        EXPECT_EQ(err.substr(err.rfind('\n') + 1), c.lastErrLine) << c.config << r.err;
    }
    // A missing main class is reported by the VM before the launcher's line.
    Outcome missing = run(wrap(dir.path(), "missing", "mainclass app.Missing\r\n"));
    EXPECT_TRUE(contains(missing.err, "app/Missing")) << missing.err;

    // One line each: a class the main class needs is missing; jvmdll names a directory.
    Outcome needs = run(wrap(dir.path(), "needs", "mainclass app.NeedsLib\r\n"));
    EXPECT_EQ(needs.status, 7);
    EXPECT_EQ(needs.err, "Unable to initialize main class app.NeedsLib, caused by: "
                         "java.lang.NoClassDefFoundError: lib/Greeting\n");
    Outcome directory = run(wrap(dir.path(), "directory", "jvmdll " + dir.dir() + "\r\n"));
    EXPECT_EQ(directory.status, 2);
    EXPECT_EQ(directory.err,
              "Java Runtime Environment not valid: " + dir.dir() + " is a directory.\n");
}

TEST_F(Launch, AnExceptionOutOfMainGoesToTheApplicationsHandlerAndFails) {
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.home.string());
        fs::path exe = wrapped("mainclass app.Handled\r\njvmdll " + jdk.library.string() + "\r\n");
        Outcome r = run(exe);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "handled boom in main\n");
        EXPECT_EQ(r.err, ""); // neither the default trace nor a launcher message
    }
}

// Recursion depth stands for the stack of the thread that runs main.
int recursionDepth(const std::string& out) {
    size_t at = out.find("depth=");
    return at == std::string::npos ? -1 : std::stoi(out.substr(at + 6));
}

TEST_F(Launch, MainRunsOnAThreadWithTheConfiguredStack) {
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.home.string());
        // Interpreted frames only, so that depth follows the stack size closely.
        std::string use =
            "mainclass app.Recurse\r\noption -Xint\r\njvmdll " + jdk.library.string() + "\r\n";
        int standard = recursionDepth(run(wrap(dir.path(), "standard", use)).out);
        int large = recursionDepth(run(wrap(dir.path(), "large", use + "option -Xss64m\r\n")).out);
        std::string java = quoteArgument((jdk.home / "bin/java").string()) + " -Xint -cp " +
                           quoteArgument(javaApps().appJar.string()) + " ";
        int javaStandard = recursionDepth(runCommand(java + "app.Recurse").out);
        int javaLarge = recursionDepth(runCommand(java + "-Xss64m app.Recurse").out);
        ASSERT_GT(standard, 0);
        ASSERT_GT(javaStandard, 0);
        EXPECT_GT(large, 16 * standard) << standard << " " << large;
        // As deep as java goes, give or take what else sits on the stack.
        EXPECT_GT(2 * large, javaLarge) << large << " " << javaLarge;
        EXPECT_LT(large, 2 * javaLarge) << large << " " << javaLarge;
        EXPECT_GT(2 * standard, javaStandard) << standard << " " << javaStandard;
        EXPECT_LT(standard, 2 * javaStandard) << standard << " " << javaStandard;
    }
}

TEST_F(Launch, VersionBoundsAgainstRealRuntimes) {
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.home.string());
        // The release file tells the version before anything starts.
        std::string use = "jre_order c\r\njvmdll " + jdk.library.string() + "\r\n";
        std::string passed = "Java Runtime Environment not found.\n  passed over " +
                             jdk.library.string() + ": Java " + jdk.version;
        int major = std::stoi(jdk.version);
        std::string above = std::to_string(major + 1), below = std::to_string(major - 1);
        Outcome low = run(wrap(dir.path(), "low", use + "minjre " + above + "\r\n"));
        EXPECT_EQ(low.status, 1);
        EXPECT_EQ(low.err, passed + " is below the required " + above + "\n");
        Outcome high =
            run(wrap(dir.path(), "high", use + "minjre 1.8\r\nmaxjre " + below + "\r\n"));
        EXPECT_EQ(high.status, 1);
        EXPECT_EQ(high.err, passed + " is above the allowed " + below + "\n");
        Outcome inside = run(wrap(dir.path(), "inside",
                                  use + "minjre 1.8\r\nmaxjre " + jdk.version +
                                      "\r\nmessage 12=%s %s %s [%s][%s] %d\r\n"));
        EXPECT_EQ(inside.status, 0) << inside.err;
    }
}

TEST_F(Launch, VersionGateAfterStartForARuntimeOfUnknownVersion) {
#ifndef FAKEJVM
    GTEST_SKIP() << "the fake runtime is not built";
#else
    // No release file and no version in its name: only the started VM can tell.
    std::string use = "jvmdll " + std::string(FAKEJVM) + "\r\n";
    Environment version = {{"FAKEJVM_VERSION", "1.7.0_02"}};
    Outcome low = run(wrap(dir.path(), "low", use + "minjre 1.7.0_20\r\n"), {}, version);
    EXPECT_EQ(low.status, 6);
    EXPECT_TRUE(contains(low.err, "Java virtual machine version 1.7.0_02 is too low, require "
                                  "1.7.0_20 or higher.\n"))
        << low.err;
    Outcome onlyMax = run(wrap(dir.path(), "onlymax", use + "maxjre 1.6\r\n"), {}, version);
    EXPECT_EQ(onlyMax.status, 12);
    EXPECT_TRUE(contains(onlyMax.err, "version 1.7.0_02 is too high, require 1.6 or lower.\n"))
        << onlyMax.err;
    Outcome custom = run(
        wrap(dir.path(), "custom", use + "maxjre 1.6\r\nmessage 12=%s|%s|%s|%s|%s|%s %d %%\r\n"),
        {}, version);
    EXPECT_EQ(custom.status, 12);
    EXPECT_TRUE(contains(custom.err, "1.7.0_02||1.6||| %d %\n"))
        << custom.err; // six %s, five texts
#endif
}

TEST_F(Launch, ManifestModuleAccessAndAgentAsJavaJarGrantsThem) {
    fs::path exe = wrapped("", javaApps().accessJar);
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.home.string());
        Outcome r = run(exe, {}, {{"JAVA_HOME", jdk.home.string()}});
        EXPECT_EQ(r.status, 0) << r.err;
        // Native access exists from Java 22 on; older runtimes must still start.
        std::string native = std::stoi(jdk.version) >= 22 ? "true" : "unknown";
        EXPECT_EQ(r.out, "opens=true exports=true native=" + native + " agent=true\n");
    }
    ProcessResult shown =
        runCommand(quoteArgument(TARNPACK) + " --inspect " + quoteArgument(exe.string()));
    EXPECT_TRUE(contains(shown.out, "  addopens java.base/java.lang java.base/java.util\n"))
        << shown.out;
    EXPECT_TRUE(contains(shown.out, "  enablenativeaccess ALL-UNNAMED\n")) << shown.out;
    EXPECT_TRUE(contains(shown.out, "  launcheragent app.Agent\n")) << shown.out;
}

TEST_F(Launch, TestDoubleRuntimesForWhatRealOnesDoNotShow) {
#ifndef FAKEJVM
    GTEST_SKIP() << "the fake runtime is not built";
#else
    fs::path exe = wrapped("jvmdll " + std::string(FAKEJVM_NOENTRY) + "\r\n");
    Outcome noEntry = run(exe);
    EXPECT_EQ(noEntry.status, 2);
    EXPECT_EQ(noEntry.err, "Java Runtime Environment not valid.\n");

    exe = wrapped("jvmdll " + std::string(FAKEJVM) + "\r\n");
    Outcome failed = run(exe, {}, {{"FAKEJVM_CREATE_FAIL", "1"}});
    EXPECT_EQ(failed.status, 4);
    EXPECT_TRUE(contains(failed.err, "Java Virtual Machine starts failed.\n")) << failed.err;

    Outcome noVersion =
        run(wrap(dir.path(), "nover", "jvmdll " + std::string(FAKEJVM) + "\r\nminjre 1.8\r\n"), {},
            {{"FAKEJVM_NO_SYSTEM", "1"}});
    EXPECT_EQ(noVersion.status, 5);
    EXPECT_TRUE(contains(noVersion.err, "Can not get the virtual machine version.\n"))
        << noVersion.err;
#endif
}

} // namespace
} // namespace tarn::test
