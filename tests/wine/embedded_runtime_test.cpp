// A Windows program that carries its runtime (the runtime double in a runtime
// home's shape), extracted into %LOCALAPPDATA%\tarn\runtimes. Wine sets
// LOCALAPPDATA itself, to the profile folder inside the prefix.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {

namespace {

// The cache folders of every user of the prefix.
std::vector<fs::path> runtimeCaches() {
    std::vector<fs::path> caches;
    std::error_code ec;
    for (const auto& user : fs::directory_iterator(winePrefix() / "drive_c/users", ec))
        caches.push_back(user.path() / "AppData/Local/tarn");
    return caches;
}

// The Linux path of the folder a traced start names ("... to C:\users\...").
fs::path tracedFolder(const std::string& err, const std::string& after) {
    size_t at = err.find(after);
    if (at == std::string::npos || err.compare(at + after.size(), 3, "C:\\") != 0)
        return fs::path();
    std::string path = err.substr(at + after.size() + 3);
    path = path.substr(0, path.find('\n'));
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return winePrefix() / "drive_c" / path;
}

} // namespace

Start embeddedRuntime(const Target& target, const fs::path& dir) {
    fs::path home = dir / "runtime";
    place(target.runtime(), home / "bin/server/jvm.dll");
    writeFile(home / "release", "JAVA_VERSION=\"17.0.9\"\n");
    fs::path exe = wrap(target, dir / "app", "app", lines({"mainclass app/Main", "jre_order r"}),
                        emptyZip(), {"--runtime", home.string()});
    for (const fs::path& cache : runtimeCaches())
        fs::remove_all(cache);
    Start s{"embedded runtime", exe, {"one"}, {{"TARN_TRACE", "1"}}, {}, {}, {}};
    s.check = [](const Outcome& r) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(records(r.out).has("main app/Main argc=1")) << r.out;
        fs::path folder = tracedFolder(r.err, "tarn: embedded runtime: extracting 4 entries to ");
        ASSERT_FALSE(folder.empty()) << r.err;
        EXPECT_EQ(folder.parent_path().filename(), "runtimes");
        EXPECT_EQ(folder.filename().string().size(), 64u);
        EXPECT_TRUE(fs::exists(folder / "bin/server/jvm.dll"));
        EXPECT_TRUE(fs::exists(folder / ".tarn-complete"));
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

    // A cache that cannot be created (a file where its folder belongs): one
    // line naming the folder, status 14.
    for (const fs::path& cache : runtimeCaches()) {
        fs::remove_all(cache);
        writeFile(cache, "");
    }
    Outcome blocked = run(exe);
    for (const fs::path& cache : runtimeCaches())
        fs::remove(cache);
    EXPECT_EQ(blocked.status, 14);
    EXPECT_TRUE(contains(blocked.err, "The embedded Java runtime could not be extracted to C:\\"))
        << blocked.err;
    EXPECT_TRUE(contains(blocked.err, "\\AppData\\Local/tarn/runtimes/")) << blocked.err;
    EXPECT_EQ(count(blocked.err, "\n"), 1u) << blocked.err;
}

} // namespace
} // namespace tarn::test
