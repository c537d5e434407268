#include "runtime/locator.h"

#include "runtime/app_setup.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

const std::string lib = platform::runtimeLibraryName;
std::string sub(int i) {
    return platform::runtimeSubPaths[i];
}

// Discovery with the environment cleared of runtimes; on Linux the registry
// sources yield nothing, under Wine the prefix holds no Java keys.
class Locate : public ::testing::Test {
  protected:
    std::string locate(const std::string& lines) {
        return text(RuntimeLocator::locate(app.reconfigure(lines)));
    }
    // A runtime home at home; returns what probing `home` yields.
    static std::string runtimeAt(const std::string& home) {
        place(home + "/" + sub(1) + "server/" + lib);
        return home + "/" + sub(1) + "server/" + lib;
    }

    ScopedEnv jreHome{"JRE_HOME", nullptr};
    ScopedEnv javaHome{"JAVA_HOME", nullptr};
    AppSetup app;
};

TEST_F(Locate, DefaultOrderIsConfiguredFileBesideRegistryEnvironment) {
    place(app.home + "custom/" + lib);
    const std::string configured = app.home + "custom/" + lib;
    const std::string beside = app.home + "./jre/" + sub(1) + "server/" + lib;
    place(beside);
    ScopedEnv env("JAVA_HOME", (app.temp.dir() + "envrt").c_str());
    const std::string fromEnv = runtimeAt(app.temp.dir() + "envrt");

    // No key, an empty one, or no valid letter: all mean "rcbsiejvpd" (nothing embedded here).
    for (const char* order : {"", "jre_order", "jre_order xyz 123", "jre_order  \t"}) {
        const std::string lines = std::string(order) + "\njvmdll custom/" + lib;
        EXPECT_EQ(locate(lines), configured) << order;
    }
    EXPECT_EQ(locate(""), beside);
    fs::remove_all(app.home + "jre");
    EXPECT_EQ(locate(""), fromEnv);
    fs::remove_all(app.temp.dir() + "envrt");
    // The five original sources (c b s i e) find nothing more here.
    EXPECT_EQ(locate("jre_order cbsie"), "");
}

TEST_F(Locate, OnlyTheListedSourcesRunInTheirOrder) {
    place(app.home + "custom/" + lib);
    const std::string configured = app.home + "custom/" + lib;
    runtimeAt(app.home + "jre");
    const std::string beside = app.home + "./jre/" + sub(1) + "server/" + lib;
    ScopedEnv env("JAVA_HOME", (app.temp.dir() + "envrt").c_str());
    const std::string fromEnv = runtimeAt(app.temp.dir() + "envrt");
    const std::string jvmdll = "\njvmdll custom/" + lib;

    EXPECT_EQ(locate("jre_order BE" + jvmdll), beside);
    EXPECT_EQ(locate("jre_order eb" + jvmdll), fromEnv);
    EXPECT_EQ(locate("jre_order Ec" + jvmdll), fromEnv);
    EXPECT_EQ(locate("jre_order=c,e" + jvmdll), configured);
    // A repeated letter runs its source again; a later one still follows.
    EXPECT_EQ(locate("jre_order ccbc"), beside);
    // An invalid letter is skipped; the default order is not a fallback.
    fs::remove_all(app.temp.dir() + "envrt");
    EXPECT_EQ(locate("jre_order xe" + jvmdll), "");
    EXPECT_EQ(locate("jre_order ee" + jvmdll), "");
}

TEST_F(Locate, ConfiguredLibraryIsResolvedButNeverProbed) {
    const std::string both = "both/" + lib, workOnly = "workonly/" + lib;
    place(app.home + both);
    place(app.workDir() + both);
    place(app.workDir() + workOnly);
    EXPECT_EQ(locate("jre_order c\njvmdll " + both), app.home + both);
    // Never from the working directory: a library planted there is not loaded.
    EXPECT_EQ(locate("jre_order c\njvmdll " + workOnly), "");

    const std::string absolute = app.temp.dir() + "abs" + app.separator() + lib;
    place(absolute);
    EXPECT_EQ(locate("jre_order c\njvmdll " + absolute), absolute);
    EXPECT_EQ(locate("jre_order c\njvmdll %APPLICATION_HOME%" + both), app.home + both);
    EXPECT_EQ(locate("jre_order c\njvmdll missing/" + lib), "");
    EXPECT_EQ(locate("jre_order c\njvmdll"), "");
    // A runtime home is not a library: the value is not probed.
    runtimeAt(app.home + "home");
    EXPECT_EQ(locate("jre_order c\njvmdll home/" + sub(1) + lib), "");
    // A missing file passes the search on to the next letter.
    runtimeAt(app.home + "jre");
    EXPECT_EQ(locate("jre_order cb\njvmdll missing/" + lib),
              app.home + "./jre/" + sub(1) + "server/" + lib);
}

TEST_F(Locate, RuntimeBesideTheApplication) {
    EXPECT_EQ(locate("jre_order b"), "");
    runtimeAt(app.workDir() + "jre");
    EXPECT_EQ(locate("jre_order b"), "") << "a runtime in the working directory is not loaded";
    runtimeAt(app.home + "jre");
    EXPECT_EQ(locate("jre_order b"), app.home + "./jre/" + sub(1) + "server/" + lib);

    runtimeAt(app.home + "runtimes/x");
    EXPECT_EQ(locate("jre_order b\njre runtimes/x"),
              app.home + "runtimes/x/" + sub(1) + "server/" + lib);
    EXPECT_EQ(locate("jre_order b\njre $APPLICATION_HOME/runtimes/x/"),
              app.home + "/runtimes/x/" + sub(1) + "server/" + lib);
    const std::string absolute = app.temp.dir() + "abs";
    EXPECT_EQ(locate("jre_order b\njre " + absolute), "");
    runtimeAt(absolute);
    EXPECT_EQ(locate("jre_order b\njre " + absolute), absolute + "/" + sub(1) + "server/" + lib);
}

TEST_F(Locate, EnvironmentTriesJreHomeThenJavaHome) {
    const std::string first = runtimeAt(app.temp.dir() + "first");
    const std::string second = runtimeAt(app.temp.dir() + "second");
    EXPECT_EQ(locate("jre_order e"), "");
    {
        ScopedEnv java("JAVA_HOME", (app.temp.dir() + "second").c_str());
        EXPECT_EQ(locate("jre_order e"), second);
        {
            // Empty counts as unset (Windows cannot even hold an empty variable).
            ScopedEnv jre("JRE_HOME", "");
            EXPECT_EQ(locate("jre_order e"), second);
        }
        {
            ScopedEnv jre("JRE_HOME", (app.temp.dir() + "first").c_str());
            EXPECT_EQ(locate("jre_order e"), first);
            EXPECT_EQ(text(RuntimeLocator::fromEnvironment(app.config())), first);
        }
        {
            ScopedEnv jre("JRE_HOME", (app.temp.dir() + "nothing").c_str());
            EXPECT_EQ(locate("jre_order e"), second);
        }
    }
    // Relative values mean the current directory, not the application home.
    runtimeAt(app.home + "rel");
    runtimeAt(app.workDir() + "rel");
    ScopedEnv java("JAVA_HOME", "rel");
    EXPECT_EQ(locate("jre_order e"), "rel/" + sub(1) + "server/" + lib);
    EXPECT_TRUE(
        fs::equivalent(locate("jre_order e"), app.workDir() + "rel/" + sub(1) + "server/" + lib));
}

TEST_F(Locate, FindsTheInstalledDevelopmentKits) {
    if (onWindows)
        GTEST_SKIP() << "the installed kits are Linux ones";
    const std::string kit = "/usr/lib/jvm/java-17-openjdk-amd64";
    if (!fs::exists(kit + "/lib/server/libjvm.so"))
        GTEST_SKIP() << kit << " is not installed";
    {
        ScopedEnv java("JAVA_HOME", kit.c_str());
        EXPECT_EQ(locate("jre_order e"), kit + "/lib/server/libjvm.so");
        EXPECT_EQ(locate("jre_order e\nvm server"), kit + "/lib/server/libjvm.so");
    }
    {
        ScopedEnv java("JAVA_HOME", (kit + "/").c_str());
        EXPECT_EQ(locate("jre_order e"), kit + "/lib/server/libjvm.so");
    }
    {
        // The kit named through a link, as Debian's alternatives name it.
        const std::string alias = "/usr/lib/jvm/java-1.17.0-openjdk-amd64";
        ScopedEnv jre("JRE_HOME", alias.c_str());
        if (fs::exists(alias)) {
            EXPECT_EQ(locate("jre_order e"), alias + "/lib/server/libjvm.so");
        }
    }
    for (const auto& entry : fs::directory_iterator("/usr/lib/jvm")) {
        std::string home = entry.path().string();
        if (!fs::exists(home + "/lib/server/libjvm.so"))
            continue;
        ScopedEnv java("JAVA_HOME", home.c_str());
        EXPECT_EQ(locate("jre_order e"), home + "/lib/server/libjvm.so") << home;
        EXPECT_EQ(locate("jre_order b\njre " + home), home + "/lib/server/libjvm.so") << home;
    }
}

} // namespace
} // namespace tarn::test
