// Finding runtimes where Windows installers, Scoop and IDEs put them: every
// JavaSoft key, the vendors' keys in both registry views and per user, and the
// usual folders; the newest within minjre/maxjre wins. TARN_TRACE names the
// library chosen, so each start shows which candidate won.
#include "wine/machine_keys.h"
#include "wine/scenarios.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace tarn::test {

namespace {

// Folders planted in the prefix's own Program Files and user profile: each
// is removed from the outermost folder that did not exist before.
struct PlantedFolders {
    std::vector<fs::path> roots;
    void add(fs::path folder) {
        while (!fs::exists(folder.parent_path()))
            folder = folder.parent_path();
        roots.push_back(folder);
    }
    ~PlantedFolders() {
        for (const fs::path& root : roots)
            fs::remove_all(root);
    }
};

fs::path userProfile() {
    const passwd* user = getpwuid(getuid());
    return winePrefix() / "drive_c/users" / (user ? user->pw_name : "root");
}

void plant(const fs::path& runtime, const fs::path& home, const std::string& release = "") {
    place(runtime, home / "bin/server/jvm.dll");
    if (!release.empty())
        writeFile(home / "release", "JAVA_VERSION=\"" + release + "\"\n");
}

// A start that must load the library whose path contains `library`; the double
// then reports `version` so that the gate after start agrees with the search.
Start chooses(const std::string& what, const fs::path& exe, const std::string& library,
              const std::string& version) {
    Start s{what, exe, {}, {{"TARN_TRACE", "1"}, {"FAKEJVM_VERSION", version}}, {}, {}, {}};
    s.check = [library](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(records(r.out).has("main app/Main argc=0")) << r.out;
        const std::string chosen = "tarn: runtime library: ";
        size_t at = r.err.find(chosen);
        ASSERT_NE(at, std::string::npos) << r.err;
        std::string line = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_TRUE(contains(line, library)) << library << "\n" << r.err;
    };
    return s;
}

fs::path app(const Target& t, const fs::path& dir, const std::string& name,
             const std::string& config) {
    return wrap(t, dir, name, "mainclass app/Main\r\n" + config);
}

} // namespace

Start registryViewsAndBitness(const Target& target, const fs::path& dir) {
    const Target& other = target.bits == 32 ? win64Target() : win32Target();
    if (!fs::exists(other.runtime()))
        return Start{"registry views: " + other.runtime().string() + " is not built",
                     {},
                     {},
                     {},
                     {},
                     {},
                     {}};
    plant(target.runtime(), dir / "own/zulu-17");
    plant(other.runtime(), dir / "other/zulu-25");
    auto keys = std::make_shared<std::pair<MachineKeys, MachineKeys>>(
        target.registryView(), target.bits == 32 ? "/reg:64" : "/reg:32");
    const std::string zulu = "Azul Systems\\Zulu\\";
    EXPECT_TRUE(
        keys->first.set(zulu + "zulu-17", "InstallationPath", windowsPath(dir / "own/zulu-17")));
    EXPECT_TRUE(
        keys->second.set(zulu + "zulu-25", "InstallationPath", windowsPath(dir / "other/zulu-25")));
    Start s = chooses("newer runtime of the other bitness in the other registry view",
                      app(target, dir, "views", "jre_order v\r\n"),
                      windowsPath(dir / "own/zulu-17"), "17");
    std::string passed = "tarn:   " + windowsPath(dir / "other/zulu-25") + ": passed over, a " +
                         std::to_string(other.bits) + "-bit runtime cannot run in this " +
                         std::to_string(target.bits) + "-bit program\n";
    auto check = s.check;
    s.check = [check, passed](const Outcome& r) {
        check(r);
        EXPECT_TRUE(contains(r.err, passed)) << r.err;
    };
    s.keep = keys;
    return s;
}

namespace {

using Win64Installed = Win64RegistryTest;

TEST_F(Win64Installed, VendorKeysOfEveryLayoutInBothViewsAndPerUser) {
    const fs::path& d = dir.path();
    fs::path a17 = d / "adoptium17", ms21 = d / "ms21", zulu25 = d / "zulu25", sem11 = d / "sem11";
    plant(target.runtime(), a17);
    plant(target.runtime(), ms21);
    plant(target.runtime(), zulu25);
    plant(target.runtime(), sem11);
    MachineKeys own("/reg:64"), other("/reg:32"), user("/reg:64", "HKCU");
    EXPECT_TRUE(own.set("Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", "Path", windowsPath(a17)));
    EXPECT_TRUE(own.set("Semeru\\JRE\\11.0.20\\openj9\\EXE", "Path", windowsPath(sem11)));
    // Stale: the folder is gone, the key stays, nothing is said about it.
    EXPECT_TRUE(
        own.set("BellSoft\\Liberica\\liberica-26", "InstallationPath", windowsPath(d / "gone")));
    EXPECT_TRUE(other.set("Microsoft\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", windowsPath(ms21)));
    EXPECT_TRUE(user.set("Azul Systems\\Zulu\\zulu-25", "InstallationPath", windowsPath(zulu25)));

    std::vector<Start> starts;
    starts.push_back(chooses("newest: per-user Zulu", app(target, d, "v", "jre_order v\r\n"),
                             windowsPath(zulu25), "25"));
    starts.push_back(chooses("maxjre 21: Microsoft in the 32-bit view",
                             app(target, d, "v21", "jre_order v\r\nmaxjre 21\r\n"),
                             windowsPath(ms21), "21.0.1"));
    starts.push_back(chooses("maxjre 17: Adoptium MSI",
                             app(target, d, "v17", "jre_order v\r\nmaxjre 17\r\n"),
                             windowsPath(a17), "17.0.9"));
    starts.push_back(chooses("maxjre 11: Semeru EXE",
                             app(target, d, "v11", "jre_order v\r\nmaxjre 11\r\n"),
                             windowsPath(sem11), "11.0.20"));
    Start none{"maxjre 10: every one passed over",
               app(target, d, "v10", "jre_order v\r\nmaxjre 10\r\n"),
               {},
               {},
               {},
               {},
               {}};
    std::vector<std::string> passed = {
        "  passed over " + windowsPath(zulu25) + ": Java 25 is above the allowed 10",
        "  passed over " + windowsPath(ms21) + ": Java 21.0.1.12 is above the allowed 10",
        "  passed over " + windowsPath(a17) + ": Java 17.0.9.9 is above the allowed 10",
        "  passed over " + windowsPath(sem11) + ": Java 11.0.20 is above the allowed 10"};
    none.check = [passed](const Outcome& r) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind(message::notFound + "\n", 0), 0u) << r.err;
        for (const std::string& line : passed)
            EXPECT_TRUE(contains(r.err, line + "\n")) << line << "\n" << r.err;
        EXPECT_EQ(count(r.err, "\n"), 5u) << r.err;
    };
    starts.push_back(none);
    runAll(std::move(starts), 2);
}

TEST_F(Win64Installed, EveryJavaSoftKeyAndTheUsualFolders) {
    const fs::path& d = dir.path();
    if (machineKeyExists("JavaSoft\\JDK", "/reg:64") ||
        machineKeyExists("JavaSoft\\JRE", "/reg:64"))
        GTEST_SKIP() << "a JavaSoft JDK or JRE key exists in the Wine prefix";
    plant(target.runtime(), d / "jdk11");
    plant(target.runtime(), d / "jdk17");
    place(target.runtime(), d / "jre8/bin/server/jvm.dll");
    MachineKeys keys("/reg:64");
    EXPECT_TRUE(keys.set("JavaSoft\\JDK\\11", "JavaHome", windowsPath(d / "jdk11")));
    EXPECT_TRUE(keys.set("JavaSoft\\JDK\\17", "JavaHome", windowsPath(d / "jdk17")));
    EXPECT_TRUE(keys.set("JavaSoft\\JDK\\21", "JavaHome", windowsPath(d / "gone21")));
    EXPECT_TRUE(
        keys.set("JavaSoft\\JRE\\1.8", "RuntimeLib", windowsPath(d / "jre8/bin/server/jvm.dll")));

    // Where a user's tools put runtimes, in this prefix's own folders.
    fs::path programs = winePrefix() / "drive_c/Program Files";
    fs::path profile = userProfile();
    fs::path adoptium = profile / "AppData/Local/Programs/Eclipse Adoptium";
    PlantedFolders planted;
    for (const fs::path& folder :
         {programs / "Zulu", adoptium, profile / "scoop", profile / ".jdks"}) {
        ASSERT_FALSE(fs::exists(folder)) << folder << " exists in the Wine prefix already";
        planted.add(folder);
    }
    plant(target.runtime(), programs / "Zulu/zulu-21", "21.0.1");
    plant(target.runtime(), adoptium / "jdk-25.0.1-hotspot");
    plant(target.runtime(), profile / "scoop/apps/temurin17-jdk/current");
    plant(target.runtime(), profile / ".jdks/corretto-11.0.21");
    fs::create_directories(profile / "scoop/apps/git/current");

    std::vector<Start> starts;
    starts.push_back(chooses("JavaSoft JDK keys: the newest that is there",
                             app(target, d, "j", "jre_order j\r\n"), windowsPath(d / "jdk17"),
                             "17"));
    starts.push_back(chooses("JavaSoft JDK keys within maxjre",
                             app(target, d, "j11", "jre_order j\r\nmaxjre 11\r\n"),
                             windowsPath(d / "jdk11"), "11"));
    starts.push_back(chooses("JavaSoft JRE key with RuntimeLib",
                             app(target, d, "j8", "jre_order j\r\nmaxjre 1.8\r\n"),
                             windowsPath(d / "jre8/bin/server/jvm.dll"), "1.8.0_402"));
    starts.push_back(chooses("LOCALAPPDATA Programs", app(target, d, "d", "jre_order d\r\n"),
                             "Eclipse Adoptium\\jdk-25.0.1-hotspot/", "25.0.1"));
    starts.push_back(chooses("Program Files, version from the release file",
                             app(target, d, "d21", "jre_order d\r\nmaxjre 21\r\n"),
                             "Program Files\\Zulu\\zulu-21/", "21.0.1"));
    starts.push_back(chooses("Scoop", app(target, d, "d17", "jre_order d\r\nmaxjre 17\r\n"),
                             "scoop\\apps\\temurin17-jdk/current\\", "17"));
    starts.push_back(chooses("IDE downloads in .jdks",
                             app(target, d, "d11", "jre_order d\r\nmaxjre 11\r\n"),
                             ".jdks\\corretto-11.0.21/", "11.0.21"));
    runAll(std::move(starts), 2);
}

} // namespace
} // namespace tarn::test
