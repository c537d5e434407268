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
                         "libs/nested/Second.JAR:/env/one:\n");
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
        {"mainclass app.Thrower\r\n", 0, "\tat app.Thrower.main(Thrower.java:5)"},
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

TEST_F(Launch, VersionGateAgainstRealRuntimes) {
    for (const Jdk& jdk : installedJdks()) {
        SCOPED_TRACE(jdk.home.string());
        std::string use = "jvmdll " + jdk.library.string() + "\r\n";
        int major = std::stoi(jdk.version);
        std::string above = std::to_string(major + 1), below = std::to_string(major - 1);
        Outcome low = run(wrap(dir.path(), "low", use + "minjre " + above + "\r\n"));
        EXPECT_EQ(low.status, 6);
        EXPECT_EQ(low.err, "Java virtual machine version " + jdk.version + " is too low, require " +
                               above + " or higher.\n");
        Outcome high =
            run(wrap(dir.path(), "high", use + "minjre 1.8\r\nmaxjre " + below + "\r\n"));
        EXPECT_EQ(high.status, 12);
        EXPECT_EQ(high.err, "Java virtual machine version " + jdk.version +
                                " is too high, version between 1.8 and " + below +
                                " is required.\n");
        Outcome onlyMax = run(wrap(dir.path(), "onlymax", use + "maxjre " + below + "\r\n"));
        EXPECT_EQ(onlyMax.status, 12);
        EXPECT_EQ(onlyMax.err, "Java virtual machine version " + jdk.version +
                                   " is too high, require " + below + " or lower.\n");
        Outcome inside = run(wrap(dir.path(), "inside",
                                  use + "minjre 1.8\r\nmaxjre " + jdk.version +
                                      "\r\nmessage 12=%s %s %s [%s][%s] %d\r\n"));
        EXPECT_EQ(inside.status, 0) << inside.err;
        Outcome custom = run(wrap(dir.path(), "custom",
                                  use + "maxjre 1.6\r\nmessage 12=%s|%s|%s|%s|%s|%s %d %%\r\n"));
        EXPECT_EQ(custom.status, 12);
        EXPECT_EQ(custom.err, jdk.version + "||1.6||| %d %\n"); // six %s, five texts
    }
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
