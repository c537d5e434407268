// A Windows program that carries its runtime (the runtime double in a runtime
// home's shape), extracted into %LOCALAPPDATA%\tarn\runtimes.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {

Start embeddedRuntime(const Target& target, const fs::path& dir) {
    fs::path home = dir / "runtime";
    place(target.runtime(), home / "bin/server/jvm.dll");
    writeFile(home / "release", "JAVA_VERSION=\"17.0.9\"\n");
    fs::path exe = wrap(target, dir / "app", "app", lines({"mainclass app/Main", "jre_order r"}),
                        emptyZip(), {"--runtime", home.string()});
    fs::path cache = dir / "local";
    Start s{"embedded runtime",
            exe,
            {"one"},
            {{"LOCALAPPDATA", windowsPath(cache)}, {"TARN_TRACE", "1"}},
            {},
            {},
            {}};
    s.check = [cache](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(records(r.out).has("main app/Main argc=1")) << r.out;
        EXPECT_TRUE(contains(r.err, "tarn: embedded runtime: extracting 4 entries to ")) << r.err;
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(cache / "tarn/runtimes"))
            folders.push_back(entry.path());
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(folders[0].filename().string().size(), 64u);
        EXPECT_TRUE(fs::exists(folders[0] / "bin/server/jvm.dll"));
        EXPECT_TRUE(fs::exists(folders[0] / ".tarn-complete"));
    };
    return s;
}

namespace {

using Win64 = Win64Test;

TEST_F(Win64, EmbeddedRuntimeIsExtractedOnceThenUsedFromTheCache) {
    Start first = embeddedRuntime(target, dir.path());
    fs::path exe = first.exe;
    Environment env = first.env;
    runOne(std::move(first));

    Outcome again = run(exe, {}, env);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(contains(again.err, "tarn: embedded runtime: using ")) << again.err;
    EXPECT_FALSE(contains(again.err, "extracting")) << again.err;

    // A cache that cannot be created: one line naming the folder, status 14.
    writeFile(dir / "file", "");
    Outcome blocked = run(exe, {}, {{"LOCALAPPDATA", windowsPath(dir / "file")}});
    EXPECT_EQ(blocked.status, 14);
    EXPECT_EQ(blocked.err.rfind("The embedded Java runtime could not be extracted to " +
                                    windowsPath(dir / "file") + "/tarn/runtimes/",
                                0),
              0u)
        << blocked.err;
    EXPECT_EQ(count(blocked.err, "\n"), 1u) << blocked.err;
}

} // namespace
} // namespace tarn::test
