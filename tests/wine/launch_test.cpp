// What a wrapped Windows program hands the Java runtime, and the result codes
// and messages a user sees when it cannot.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {

namespace {

std::string use(const fs::path& library) {
    return "jvmdll " + windowsPath(library);
}

std::string appMain() {
    return "mainclass app/Main";
}

// A start that must fail with `status` and exactly `message` on standard error.
Start failing(const std::string& what, const fs::path& exe, Environment env, int status,
              const std::string& message) {
    Start s{what, exe, {}, std::move(env), {}, {}, {}};
    s.check = [status, message](const Outcome& r) {
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.err, message + "\n");
        EXPECT_FALSE(records(r.out).has("main app/Main argc=0"));
    };
    return s;
}

} // namespace

Start fullLaunch(const Target& target, const fs::path& dir) {
    writeFile(dir / "libs/nested/Second.JAR", "");
    writeFile(dir / "libs/readme.txt", "");
    // Marked UTF-8, so é and € reach the options in the ANSI code page (1252).
    std::string config =
        utf8Mark +
        lines({appMain(), "jre_order c", use(target.runtime()), "option -Xmx64m",
               "option -Dfrom.option=\xC3\xA9\xE2\x82\xAC", "option -Djava.class.path=Z:\\nowhere",
               "classpath lib\\extra.jar;;%APPLICATION_HOME%more.zip", "libs libs",
               "property utf=gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", "property empty",
               "property where=%PWD%", "argv -a", "argv -b \"c d\" e\\\"f", "argv   ",
               "argv \"\""});
    fs::path exe = wrap(target, dir, "full", config);
    Start s{"full launch",
            exe,
            {"x", "y z", "\xC3\xA9\xE2\x82\xAC", ""},
            {{"CLASSPATH", "Z:\\env\\one"}, {"CLASS_PATH", ""}},
            dir,
            {},
            {}};
    s.check = [exe, dir](const Outcome& r) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        std::string self = windowsPath(exe), home = windowsDir(dir);
        std::vector<std::string> expected = {
            "default args version=0x10001 javaStackSize=0",
            "create version=0x10002 options=6 ignoreUnrecognized=1",
            "option[0]=-Xmx64m",
            "option[1]=-Dfrom.option=\xE9\x80",
            "option[2]=-Djava.class.path=Z:\\nowhere",
            "option[3]=-Djava.class.path=" + self + ";" + home + "lib\\extra.jar;" + home +
                "more.zip;" + home + "libs/nested/Second.JAR;Z:\\env\\one",
            "option[4]=-Dtarn.app.path=" + self,
            "option[5]=-Dapplication.home=" + home,
            "property utf=gr\xC3\xBC\xC3\x9F \xE2\x82\xAC",
            "property empty=",
            "property where=" + windowsPath(dir) + "/",
            "main app/Main argc=9",
            "arg[0]=-a",
            "arg[1]=-b",
            "arg[2]=c d",
            "arg[3]=e\"f",
            "arg[4]=",
            "arg[5]=x",
            "arg[6]=y z",
            "arg[7]=\xC3\xA9\xE2\x82\xAC",
            "arg[8]=",
            "detach",
            "destroy"};
        EXPECT_EQ(records(r.out).all, expected);
    };
    return s;
}

Start versionTooHigh(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "high",
                        lines({appMain(), use(target.runtime()), "minjre 1.5", "maxjre 1.6"}));
    Start s = failing("version above maxjre", exe, {{"FAKEJVM_VERSION", "1.7.0_02"}}, 12,
                      "Java virtual machine version 1.7.0_02 is too high, version between 1.5 "
                      "and 1.6 is required.");
    auto base = s.check;
    s.check = [base](const Outcome& r) {
        base(r);
        Records got = records(r.out);
        EXPECT_TRUE(got.has("getProperty java.version -> 1.7.0_02"));
        EXPECT_TRUE(got.has("destroy"));
    };
    return s;
}

Start mainThrows(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "throws", lines({appMain(), use(target.runtime())}));
    Start s{"main throws", exe, {}, {{"FAKEJVM_THROW", "1"}}, {}, {}, {}};
    s.check = [](const Outcome& r) {
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "java.lang.RuntimeException: FAKEJVM_THROW"));
        EXPECT_FALSE(contains(r.err, "Java Runtime") || contains(r.err, "startup class"));
        Records got = records(r.out);
        EXPECT_TRUE(got.has("uncaught java.lang.RuntimeException"));
        EXPECT_TRUE(got.has("destroy"));
    };
    return s;
}

Start libraryWithoutEntry(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "noentry", lines({appMain(), use(target.noEntry())}));
    // Loaded but unusable: no system message, only the launcher's.
    return failing("library without JNI_CreateJavaVM", exe, {}, 2, message::notValid);
}

Start vmCreationFails(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "nocreate", lines({appMain(), use(target.runtime())}));
    Start s =
        failing("VM creation fails", exe, {{"FAKEJVM_CREATE_FAIL", "1"}}, 4, message::startFailed);
    auto base = s.check;
    s.check = [base](const Outcome& r) {
        base(r);
        EXPECT_TRUE(records(r.out).has("create failed"));
    };
    return s;
}

Start mainClassMissing(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "noclass", lines({appMain(), use(target.runtime())}));
    Start s{"main class missing", exe, {}, {{"FAKEJVM_NO_CLASS", "1"}}, {}, {}, {}};
    s.check = [](const Outcome& r) {
        EXPECT_EQ(r.status, 7);
        // The VM describes the exception before the launcher's own line.
        EXPECT_TRUE(contains(r.err, "java.lang.NoClassDefFoundError: app/Main\n"));
        EXPECT_EQ(lastLine(r.err), message::noClass);
    };
    return s;
}

Start notALibrary(const Target& target, const fs::path& dir) {
    // A "%1" in the path itself must survive the insertion of the path.
    fs::path file = dir / "x%1y/notalib.dll";
    writeFile(file, "not a PE image");
    fs::path exe = wrap(target, dir, "notalib", lines({appMain(), "jre_order c", use(file)}));
    Start s{"library that is no PE image", exe, {}, {}, {}, {}, {}};
    std::string path = windowsPath(file);
    s.check = [path](const Outcome& r) {
        EXPECT_EQ(r.status, 2);
        // The system's text for the error, with the path in place of its "%1",
        // then an empty line (the text ends with its own line break), then ours.
        std::string system = r.err.substr(0, r.err.find('\n'));
        EXPECT_TRUE(contains(system, path));
        EXPECT_EQ(count(r.err, "%1"), 1u);
        EXPECT_TRUE(contains(r.err, "\n\n" + message::notValid + "\n"));
        EXPECT_EQ(lastLine(r.err), message::notValid);
    };
    return s;
}

namespace {

using Win64Launch = Win64Test;

TEST_F(Win64Launch, OptionsClassPathPropertiesAndArgumentsReachTheRuntime) {
    runOne(fullLaunch(target, dir.path()));
}

TEST_F(Win64Launch, TheVmStartsOnAThreadWithTheConfiguredStack) {
    Environment report = {{"FAKEJVM_REPORT_STACK", "1"}, {"FAKEJVM_STACK_SIZE", "0"}};
    fs::path exe = wrap(target, dir.path(), "large",
                        lines({appMain(), use(target.runtime()), "option -Xss64m"}));
    Records got = records(run(exe, {}, report, dir.path()).out);
    EXPECT_TRUE(got.has("thread stack=67108864")) << got.create;
    EXPECT_FALSE(contains(got.all.front(), "default args")); // -Xss was enough
    // Without -Xss the VM's default; HotSpot on Windows says 0: the program's own.
    exe = wrap(target, dir.path(), "standard", lines({appMain(), use(target.runtime())}));
    got = records(run(exe, {}, report, dir.path()).out);
    EXPECT_TRUE(got.has("default args version=0x10001 javaStackSize=0"));
    EXPECT_TRUE(got.has("thread stack=2097152"));
    report["FAKEJVM_STACK_SIZE"] = "8388608";
    got = records(run(exe, {}, report, dir.path()).out);
    EXPECT_TRUE(got.has("thread stack=8388608"));
}

TEST_F(Win64Launch, AnsiTextFromConfigurationCommandLineAndPaths) {
    // No mark: the configuration is in the ANSI code page; é is E9 there.
    fs::create_directories(dir / "d\xC3\xA9\xE2\x82\xAC");
    fs::path exe = wrap(target, dir / "d\xC3\xA9\xE2\x82\xAC", "app",
                        lines({appMain(), use(target.runtime()), "property p=caf\xE9",
                               "option -Do=caf\xE9", "argv caf\xE9"}));
    Outcome r = run(exe, {"\xC3\xA9t\xC3\xA9", "\xD0\xB6"}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    Records got = records(r.out);
    EXPECT_EQ(got.properties, std::vector<std::string>{"p=caf\xC3\xA9"});
    std::string self = windowsPath(dir.path()) + "\\d\xE9\x80\\app.exe";
    EXPECT_EQ(got.options,
              (std::vector<std::string>{
                  "-Do=caf\xE9", "-Djava.class.path=" + self, "-Dtarn.app.path=" + self,
                  "-Dapplication.home=" + windowsPath(dir.path()) + "\\d\xE9\x80\\"}));
    // Ж has no place in code page 1252, yet the UTF-16 command line keeps it.
    EXPECT_EQ(got.args, (std::vector<std::string>{"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xD0\xB6"}));
}

TEST_F(Win64Launch, ExternalConfigurationBesideTheProgram) {
    std::string embedded = lines({appMain(), use(target.runtime()), "argv embedded"});
    // The archive comment must not hide the trailer.
    fs::path exe = wrap(target, dir.path(), "app", embedded, emptyZip("a comment"));
    // UTF-16LE with a mark; app.exe.cfg comes before app.cfg, which is not read.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("argv external\r\nargv caf\xE9"))
        utf16 += std::string(1, c) + '\0';
    // U+4E2D has no place in code page 1252, yet it reaches Java whole, and so
    // does everything after it.
    for (char16_t unit : std::u16string(u"\r\nargv a \u4E2D z")) {
        utf16 += char(unit & 0xFF);
        utf16 += char(unit >> 8);
    }
    writeFile(dir / "app.exe.cfg", utf16);
    writeFile(dir / "app.cfg", "argv ignored\r\n");
    Outcome r = run(exe, {"cmd"}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(records(r.out).args,
              (std::vector<std::string>{"external", "caf\xC3\xA9", "a", "\xE4\xB8\xAD", "z",
                                        "embedded", "cmd"}));

    fs::path locked = wrap(target, dir.path(), "locked", "disableexternal TRUE\r\n" + embedded);
    writeFile(dir / "locked.config", "argv external\r\nmainclass other/Main\r\n");
    r = run(locked, {}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(records(r.out).args, std::vector<std::string>{"embedded"});
}

TEST_F(Win64Launch, ExportsReachExpansionAndRuntimeDiscovery) {
    place(target.runtime(), dir / "rt/bin/jvm.dll");
    fs::path exe = wrap(target, dir.path(), "app",
                        lines({appMain(), "jre_order e", "export JAVA_HOME=%APPLICATION_HOME%rt",
                               "export GREETING=hi from %APPLICATION_HOME%", "export NO_ASSIGNMENT",
                               "export REMOVED=", "property seen=$GREETING!",
                               "property removed=%REMOVED%", "property java=%java_home%"}));
    Outcome r = run(exe, {}, {{"REMOVED", "present"}, {"NO_ASSIGNMENT", "kept"}});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string home = windowsDir(dir.path());
    // An unknown name stays as written; names are matched ignoring case.
    EXPECT_EQ(records(r.out).properties,
              (std::vector<std::string>{"seen=hi from " + home + "!", "removed=%REMOVED%",
                                        "java=" + home + "rt"}));
}

TEST_F(Win64Launch, EveryResultCodeWithItsMessage) {
    const fs::path& d = dir.path();
    std::vector<Start> starts;
    starts.push_back(versionTooHigh(target, d));
    starts.push_back(mainThrows(target, d));
    starts.push_back(libraryWithoutEntry(target, d));
    starts.push_back(vmCreationFails(target, d));
    starts.push_back(mainClassMissing(target, d));
    starts.push_back(notALibrary(target, d));

    std::string run = lines({appMain(), use(target.runtime())});
    starts.push_back(failing("no runtime anywhere",
                             wrap(target, d, "none", lines({appMain(), "jre_order e"})), {}, 1,
                             message::notFound));
    starts.push_back(failing("version below minjre",
                             wrap(target, d, "low", run + "minjre 1.6.0_20\r\n"),
                             {{"FAKEJVM_VERSION", "1.6.0_07"}}, 6,
                             "Java virtual machine version 1.6.0_07 is too low, require "
                             "1.6.0_20 or higher."));
    starts.push_back(failing("version not readable",
                             wrap(target, d, "nover", run + "minjre 1.6\r\n"),
                             {{"FAKEJVM_NO_SYSTEM", "1"}}, 5, message::noVersion));
    Start noMain{"no main method",
                 wrap(target, d, "nomain", run),
                 {},
                 {{"FAKEJVM_NO_MAIN", "1"}},
                 {},
                 {},
                 {}};
    noMain.check = [](const Outcome& r) {
        EXPECT_EQ(r.status, 8);
        EXPECT_TRUE(contains(r.err, "java.lang.NoSuchMethodError"));
        EXPECT_EQ(lastLine(r.err), message::noMain);
    };
    starts.push_back(noMain);
    runAll(std::move(starts), 2);
}

TEST_F(Win64Launch, MessageOverridesReplaceTheStringTable) {
    const fs::path& d = dir.path();
    std::string run = lines({appMain(), use(target.runtime())});
    std::vector<Start> starts;
    starts.push_back(
        failing("override of 1, first line wins",
                wrap(target, d, "one",
                     lines({appMain(), "jre_order e", "message 1=No Java\\there, see C:\\\\Java",
                            "message 1=second", "message 0=never", "message 7"})),
                {}, 1, "No Java\there, see C:\\Java"));
    starts.push_back(failing(
        "override of 6 as a format",
        wrap(target, d, "six", run + lines({"minjre 9", "maxjre 10", "message 6=%s<%s..%s.\\n!"})),
        {{"FAKEJVM_VERSION", "1.8.0_5"}}, 6, "1.8.0_5<9..10.\n!"));
    starts.push_back(
        failing("override of 12 with five texts",
                wrap(target, d, "twelve", run + lines({"maxjre 1.6", "message 12=%s|%s|%s|%s|%s"})),
                {}, 12, "17.0.2||1.6||"));
    runAll(std::move(starts), 2);
}

} // namespace
} // namespace tarn::test
