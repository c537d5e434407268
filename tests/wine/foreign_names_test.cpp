// Paths, arguments and configuration text that the ANSI code page (1252 under
// this Wine) cannot spell: CJK, Cyrillic, Greek and characters beyond U+FFFF.
#include "wine/machine_keys.h"
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {

namespace {

const std::string cjk = "\xE6\x9D\x8E\xE9\x9B\xB7";                      // 李雷
const std::string cyrillic = "\xD0\x9E\xD0\xBB\xD1\x8C\xD0\xB3\xD0\xB0"; // Ольга
const std::string greek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";    // Ωμέγα
const std::string report = "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82";   // отчёт
const std::string emoji = "\xF0\x9F\x98\x80";                            // 😀
const std::string folder = cjk + " " + cyrillic + " " + emoji;

std::string appMain() {
    return "mainclass app/Main";
}

bool has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

Start foreignProgramAndArguments(const Target& target, const fs::path& dir) {
    fs::path home = dir / folder;
    fs::create_directories(home / (greek + emoji));
    fs::path built = wrap(
        target, dir, "app",
        lines({appMain(), "jvmdll " + windowsPath(target.runtime()), "forcecwd " + greek + emoji,
               "export GREETING=" + cjk + emoji, "property greeting=%GREETING%",
               "property where=%PWD%", "singleinstance true", "argv " + report + ".pdf"}));
    fs::path exe = home / (cyrillic + ".exe");
    place(built, exe);
    Start s{"a program in a folder named " + folder,
            exe,
            {greek + ".txt", emoji, cjk + " " + cyrillic, ""},
            {},
            dir,
            {},
            {}};
    s.check = [exe, home](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        Records got = records(r.out);
        std::string self = windowsPath(exe), directory = windowsDir(home);
        EXPECT_EQ(got.args, (std::vector<std::string>{report + ".pdf", greek + ".txt", emoji,
                                                      cjk + " " + cyrillic, ""}));
        // The VM reads its options in the code page: paths it cannot spell go in
        // their short form, then the exact text is set as the property again.
        ASSERT_EQ(got.options.size(), 3u);
        for (const std::string& option : got.options)
            EXPECT_EQ(option.find('?'), std::string::npos) << option;
        for (const std::string& property :
             {"java.class.path=" + self, "tarn.app.path=" + self, "application.home=" + directory,
              "greeting=" + cjk + emoji, "where=" + directory + greek + emoji + "/"})
            EXPECT_TRUE(has(got.properties, property)) << property << "\n" << r.out;
    };
    return s;
}

Start foreignConfigurationAndLibraries(const Target& target, const fs::path& dir) {
    fs::path home = dir / folder;
    writeFile(home / (cyrillic + emoji) / (cjk + ".jar"), "");
    fs::path exe = home / (greek + ".exe");
    place(wrap(target, dir, "configured", appMain() + "\r\n"), exe);
    // UTF-8 without a mark, as editors save it: read as UTF-8, not the code page.
    writeFile(
        home / (greek + ".exe.cfg"),
        lines({"jvmdll " + windowsPath(target.runtime()), "option -Dreport=" + report + emoji,
               "property title=" + greek + " " + emoji, "classpath " + cjk + "\\" + report + ".jar",
               "libs " + cyrillic + emoji, "argv " + cyrillic}));
    Start s{"external configuration and libraries named " + folder, exe, {}, {}, dir, {}, {}};
    s.check = [exe, home](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        Records got = records(r.out);
        std::string self = windowsPath(exe), directory = windowsDir(home);
        EXPECT_EQ(got.args, std::vector<std::string>{cyrillic});
        for (const std::string& property :
             {"report=" + report + emoji, "title=" + greek + " " + emoji,
              "java.class.path=" + self + ";" + directory + cjk + "\\" + report + ".jar;" +
                  directory + cyrillic + emoji + "/" + cjk + ".jar"})
            EXPECT_TRUE(has(got.properties, property)) << property << "\n" << r.out;
    };
    return s;
}

// The runtime stand-in under a user folder the code page cannot spell, found
// through JAVA_HOME, the jre key and a registry value (when the keys are free).
std::vector<Start> foreignRuntimeHome(const Target& target, const fs::path& dir) {
    fs::path kit = dir / "Users" / cjk / ".jdks" / (cyrillic + "-21");
    place(target.runtime(), kit / "bin/server/jvm.dll");
    auto launched = [](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(records(r.out).has("main app/Main argc=0")) << r.out;
    };
    std::vector<Start> starts;
    starts.push_back(Start{"JAVA_HOME under " + cjk,
                           wrap(target, dir, "fromenv", lines({appMain(), "jre_order e"})),
                           {},
                           {{"JAVA_HOME", windowsPath(kit)}},
                           dir,
                           launched,
                           {}});
    starts.push_back(Start{
        "jre folder under " + cjk,
        wrap(target, dir, "fromjre", lines({appMain(), "jre_order b", "jre " + windowsPath(kit)})),
        {},
        {},
        dir,
        launched,
        {}});
    std::string busy = runtimeKeysInUse();
    if (!busy.empty())
        return starts;
    auto keys = std::make_shared<MachineKeys>(target.registryView());
    EXPECT_TRUE(keys->set(javaSoftKey, "CurrentVersion", "21"));
    EXPECT_TRUE(keys->set(javaSoftKey + "\\21", "JavaHome", windowsPath(kit)));
    starts.push_back(Start{"registry JavaHome under " + cjk,
                           wrap(target, dir, "fromkey", lines({appMain(), "jre_order s"})),
                           {},
                           {},
                           dir,
                           launched,
                           keys});
    return starts;
}

Start foreignRedirection(const Target& target, const fs::path& dir) {
    fs::path exe = wrap(target, dir, "redirected",
                        lines({appMain(), "jvmdll " + windowsPath(target.runtime()),
                               "stdout " + greek + emoji + ".log", "stderr " + cjk + ".log"}));
    Start s{"redirection into files named in " + greek + " and " + cjk,
            exe,
            {},
            {{"FAKEJVM_NO_CLASS", "1"}},
            dir,
            {},
            {}};
    s.check = [dir](const Outcome& r) {
        EXPECT_EQ(r.status, 7);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_TRUE(contains(readFile(dir / (greek + emoji + ".log")), "FAKEJVM destroy"));
        EXPECT_TRUE(contains(readFile(dir / (cjk + ".log")), message::noClass));
    };
    return s;
}

} // namespace

std::vector<Start> foreignNames(const Target& target, const fs::path& dir) {
    std::vector<Start> starts = foreignRuntimeHome(target, dir);
    starts.push_back(foreignProgramAndArguments(target, dir));
    starts.push_back(foreignConfigurationAndLibraries(target, dir));
    starts.push_back(foreignRedirection(target, dir));
    return starts;
}

namespace {

using Win64ForeignNames = Win64Test;

TEST_F(Win64ForeignNames, ProgramConfigurationLibrariesRuntimeAndRedirectionOfAnyScript) {
    runAll(foreignNames(target, dir.path()));
}

} // namespace
} // namespace tarn::test
