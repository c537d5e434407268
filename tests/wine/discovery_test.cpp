// Finding the runtime double where users keep Java: beside the application, in
// the environment, in the configuration, in the registry, and loading one that
// needs its bin directory on PATH.
#include "wine/machine_keys.h"
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {

namespace {

void expectLaunched(const Outcome& r) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(records(r.out).has("main app/Main argc=0"));
}

Start launches(const std::string& what, const fs::path& exe, Environment env = {},
               const fs::path& cwd = fs::path()) {
    return Start{what, exe, {}, std::move(env), cwd, expectLaunched, {}};
}

// Keys in the process's own registry view and in the other one.
struct RegistryViews {
    explicit RegistryViews(const Target& target)
        : own(target.registryView()), other(target.bits == 32 ? "/reg:64" : "/reg:32") {}
    MachineKeys own, other;
};

void setVersion(MachineKeys& keys, const std::string& key, const std::string& version,
                const std::string& name, const std::string& value) {
    EXPECT_TRUE(keys.set(key, "CurrentVersion", version));
    EXPECT_TRUE(keys.set(key + "\\" + version, name, value));
}

} // namespace

Start registryViewOfTheProcess(const Target& target, const fs::path& dir) {
    std::string busy = runtimeKeysInUse();
    if (!busy.empty())
        return Start{"registry view: " + busy, {}, {}, {}, {}, {}, {}};
    fs::path library = dir / "view/jre8/bin/client/jvm.dll";
    place(target.runtime(), library);
    auto views = std::make_shared<RegistryViews>(target);
    setVersion(views->own, javaSoftKey, "1.8", "RuntimeLib", windowsPath(library));
    // Read through the wrong view, this one would end in "not valid".
    setVersion(views->other, javaSoftKey, "1.8", "RuntimeLib", windowsPath(target.noEntry()));
    Start s = launches("JavaSoft key of the process's registry view",
                       wrap(target, dir, "view", "mainclass app/Main\r\njre_order s\r\n"));
    s.keep = views;
    return s;
}

Start registryJavaHome(const Target& target, const fs::path& dir) {
    std::string busy = runtimeKeysInUse();
    if (!busy.empty())
        return Start{"registry JavaHome: " + busy, {}, {}, {}, {}, {}, {}};
    place(target.runtime(), dir / "ibm/java6/bin/server/jvm.dll");
    auto keys = std::make_shared<MachineKeys>(target.registryView());
    setVersion(*keys, ibmKey, "1.6", "JavaHome", windowsPath(dir / "ibm/java6"));
    Start s = launches("IBM key with JavaHome only",
                       wrap(target, dir, "ibm", "mainclass app/Main\r\njre_order i\r\n"));
    s.keep = keys;
    return s;
}

Start pathRetry(const Target& target, const fs::path& dir) {
    fs::path client = dir / "retry/rt/bin/client";
    place(target.needsCompanion(), client / "jvm.dll");
    place(target.companion(), dir / "retry/rt/bin/companion.dll");
    // Expanded after the VM exists, so it shows PATH as the retry left it.
    fs::path exe = wrap(target, dir, "retry",
                        lines({"mainclass app/Main", "jvmdll " + windowsPath(client / "jvm.dll"),
                               "property path=%PATH%"}));
    Start s{"library needing its bin directory on PATH", exe, {}, {}, dir, {}, {}};
    std::string added = ";" + windowsPath(client) + "\\..";
    s.check = [added](const Outcome& r) {
        expectLaunched(r);
        std::vector<std::string> properties = records(r.out).properties;
        ASSERT_EQ(properties.size(), 1u);
        const std::string& path = properties[0];
        EXPECT_EQ(path.rfind("path=", 0), 0u);
        ASSERT_GT(path.size(), added.size() + 5);
        EXPECT_EQ(path.substr(path.size() - added.size()), added);
        EXPECT_GT(path.size(), added.size() + 5) << "PATH had a value before";
    };
    return s;
}

Start runtimeOfTheOtherBitness(const Target& target, const fs::path& dir) {
    const Target& other = target.bits == 32 ? win64Target() : win32Target();
    if (!fs::exists(other.runtime()))
        return Start{"runtime of the other bitness: " + other.runtime().string() + " is not built",
                     {},
                     {},
                     {},
                     {},
                     {},
                     {}};
    fs::path library = dir / "other/jre/bin/server/jvm.dll";
    place(other.runtime(), library);
    fs::path exe = wrap(target, dir, "other", "mainclass app/Main\r\njre_order e\r\n");
    Start s{"runtime of the other bitness",
            exe,
            {},
            {{"JAVA_HOME", windowsPath(dir / "other")}},
            dir,
            {},
            {}};
    // Passed over by its header before any load: the user learns what to install.
    std::string line = "  passed over " + windowsPath(dir / "other") + ": a " +
                       std::to_string(other.bits) + "-bit runtime cannot run in this " +
                       std::to_string(target.bits) + "-bit program\n";
    s.check = [line](const Outcome& r) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message::notFound + "\n" + line);
    };
    return s;
}

namespace {

using Win64Discovery = Win64Test;

TEST_F(Win64Discovery, RuntimeShapesBesideTheAppInTheEnvironmentAndConfigured) {
    const Target& t = target;
    const fs::path& d = dir.path();
    std::vector<Start> starts;

    // Default order: beside the application comes before the environment.
    place(t.runtime(), d / "b1/jre/bin/client/jvm.dll");
    starts.push_back(launches("jre\\ beside the app, flavour found by the scan",
                              wrap(t, d / "b1", "app", "mainclass app/Main\r\n"),
                              {{"JAVA_HOME", windowsPath(t.noEntry().parent_path())}}));

    place(t.runtime(), d / "b2/runtimes/kit/jre/bin/server/jvm.dll");
    starts.push_back(launches(
        "configured jre folder holding a kit",
        wrap(t, d / "b2", "app", "mainclass app/Main\r\njre_order b\r\njre runtimes\\kit\r\n")));

    fs::path env = d / "env";
    place(t.runtime(), env / "rt/bin/jvm.dll");
    place(t.runtime(), env / "kit/jre/bin/server/jvm.dll");
    place(t.runtime(), env / "bare/bin/client/jvm.dll");
    place(t.runtime(), env / "beside/jre/bin/jvm.dll");
    fs::create_directories(env / "beside/lib");
    fs::path fromEnv = wrap(t, env, "app", "mainclass app/Main\r\njre_order e\r\n");
    starts.push_back(
        launches("JRE_HOME, a runtime home", fromEnv, {{"JRE_HOME", windowsPath(env / "rt")}}));
    starts.push_back(launches("JRE_HOME empty, JAVA_HOME a kit", fromEnv,
                              {{"JRE_HOME", ""}, {"JAVA_HOME", windowsPath(env / "kit")}}));
    starts.push_back(launches("JAVA_HOME a bin directory", fromEnv,
                              {{"JAVA_HOME", windowsDir(env / "bare/bin")}}));
    starts.push_back(launches("JAVA_HOME with a jre beside it", fromEnv,
                              {{"JAVA_HOME", windowsPath(env / "beside/lib")}}));

    place(t.runtime(), d / "c1/rt/bin/jvm.dll");
    starts.push_back(
        launches("jvmdll relative to the application home",
                 wrap(t, d / "c1", "app",
                      "mainclass app/Main\r\njre_order c\r\njvmdll rt\\bin\\jvm.dll\r\n"),
                 {}, d));

    starts.push_back(
        launches("jvmdll through an environment variable",
                 wrap(t, d / "c2", "app", "mainclass app/Main\r\njvmdll %My_Runtime%\\jvm.dll\r\n"),
                 {{"MY_RUNTIME", windowsPath(d / "c1/rt/bin")}}));

    // The configured flavour wins over a scan that could meet the decoy first.
    place(t.runtime(), d / "f/rt/bin/server/jvm.dll");
    place(t.noEntry(), d / "f/rt/bin/client/jvm.dll");
    starts.push_back(launches("vm flavour preferred",
                              wrap(t, d / "f", "app", "mainclass app/Main\r\nvm server\r\n"),
                              {{"JAVA_HOME", windowsPath(d / "f/rt")}}));

    fs::create_directories(d / "empty");
    Start none{"no runtime in the sources searched",
               wrap(t, d / "none", "app", "mainclass app/Main\r\njre_order BE\r\n"),
               {},
               {{"JAVA_HOME", windowsPath(d / "empty")}},
               {},
               {},
               {}};
    none.check = [](const Outcome& r) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message::notFound + "\n");
    };
    starts.push_back(none);
    runAll(std::move(starts), 2);
}

using Win64Registry = Win64RegistryTest;

TEST_F(Win64Registry, JavaSoftAndIbmKeys) {
    runOne(registryViewOfTheProcess(target, dir.path()));
    runOne(registryJavaHome(target, dir.path()));
}

TEST_F(Win64Registry, RuntimeLibThatIsGoneLeadsToItsBinDirectory) {
    place(target.runtime(), dir / "jre8/bin/server/jvm.dll");
    MachineKeys keys(target.registryView());
    setVersion(keys, javaSoftKey, "1.8.0_45", "RuntimeLib",
               windowsPath(dir / "jre8/bin/classic/jvm.dll"));
    runOne(launches("RuntimeLib gone",
                    wrap(target, dir.path(), "gone", "mainclass app/Main\r\njre_order s\r\n")));
}

TEST_F(Win64Registry, KeyWithoutCurrentVersionYieldsNothing) {
    place(target.runtime(), dir / "jre8/bin/jvm.dll");
    MachineKeys keys(target.registryView());
    EXPECT_TRUE(keys.set(javaSoftKey + "\\1.8", "JavaHome", windowsPath(dir / "jre8")));
    fs::path exe = wrap(target, dir.path(), "nover", "mainclass app/Main\r\njre_order s\r\n");
    Outcome r = run(exe);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.err, message::notFound + "\n");
}

TEST_F(Win64Discovery, RuntimeOfTheOtherBitnessIsPassedOver) {
    runOne(runtimeOfTheOtherBitness(target, dir.path()));
}

TEST_F(Win64Discovery, LibraryNeedingItsBinDirectoryLoadsOnTheRetry) {
    runOne(pathRetry(target, dir.path()));

    // With PATH removed the retry makes it the runtime's directory alone.
    fs::path client = dir / "retry/rt/bin/client";
    fs::path bare = wrap(
        target, dir.path(), "bare",
        lines({"mainclass app/Main", "export PATH=", "jvmdll " + windowsPath(client / "jvm.dll"),
               "property path=%PATH%"}));
    Outcome bareRun = run(bare, {}, {}, dir.path());
    EXPECT_EQ(bareRun.status, 0) << bareRun.err;
    EXPECT_EQ(records(bareRun.out).properties,
              std::vector<std::string>{"path=;" + windowsPath(client) + "\\.."});

    // Without the companion the retry fails too: the system's text, then ours.
    place(target.needsCompanion(), dir / "alone/bin/client/jvm.dll");
    fs::path exe = wrap(target, dir.path(), "alone",
                        "mainclass app/Main\r\njvmdll " +
                            windowsPath(dir / "alone/bin/client/jvm.dll") + "\r\n");
    Outcome r = run(exe, {}, {}, dir.path());
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find('\n'), 0u) << "a system message comes first";
    EXPECT_TRUE(contains(r.err, "\n\n" + message::notValid + "\n")) << r.err;
}

TEST_F(Win64Discovery, DependenciesComeFromTheRuntimesFolderFirst) {
    // Beside the library: found on the first load, PATH stays as it was.
    fs::path own = dir / "own/bin/server";
    place(target.needsCompanion(), own / "jvm.dll");
    place(target.companion(), own / "companion.dll");
    fs::path exe = wrap(target, dir.path(), "own",
                        lines({"mainclass app/Main", "jvmdll " + windowsPath(own / "jvm.dll"),
                               "property path=%PATH%"}));
    Outcome r = run(exe, {}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> properties = records(r.out).properties;
    ASSERT_EQ(properties.size(), 1u) << r.out;
    EXPECT_FALSE(contains(properties[0], "\\..")) << properties[0];

    // Planted beside the program: not searched, so the runtime is not usable.
    // (Taking the working directory out of the search cannot be shown here:
    // Wine treats an empty DLL directory as none and keeps searching it.)
    place(target.needsCompanion(), dir / "rt/bin/server/jvm.dll");
    place(target.companion(), dir / "app/companion.dll");
    exe =
        wrap(target, dir / "app", "planted",
             "mainclass app/Main\r\njvmdll " + windowsPath(dir / "rt/bin/server/jvm.dll") + "\r\n");
    r = run(exe, {}, {}, dir / "rt");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(contains(r.err, message::notValid)) << r.err;
}

} // namespace
} // namespace tarn::test
