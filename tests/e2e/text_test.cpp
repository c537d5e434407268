// Text and output as a user sees them in unusual surroundings: the C locale,
// characters above U+FFFF, standard descriptors closed at start.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

TEST(Text, NothingIsCutUnderTheCLocaleAndPropertiesKeepEveryCharacter) {
    TempDir dir;
    fs::path plain = wrap(dir.path(), "plain", "# Caf\xC3\xA9 settings\r\nargv after\r\n");
    Outcome r = run(plain, {"caf\xC3\xA9.txt"}, {{"LC_ALL", "C"}});
    EXPECT_EQ(r.status, 0) << r.err;
    // Java prints the two undecodable bytes (U+FFFD each) as '?' in the C locale.
    EXPECT_EQ(r.out, "args=2\narg=after\narg=caf??.txt\n");

    fs::path marked = wrap(dir.path(), "marked",
                           "\xEF\xBB\xBFoption -Decho.props=smile\r\n"
                           "property smile=\xF0\x9F\x98\x80 \xC3\xA9\r\n");
    r = run(marked);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "args=0\nprop smile=\xF0\x9F\x98\x80 \xC3\xA9\n");
}

TEST(Text, ClosedStandardDescriptorsTakeNothingElse) {
    TempDir dir;
    fs::create_directory(dir / "run");
    fs::path exe = wrap(dir.path(), "app", "stderr err.txt\r\nsingleinstance true\r\n");
    // Without the null device on 0-2, err.txt and the instance lock would take
    // them and System.out would write into one of those files.
    Outcome r = run("/bin/sh", {"-c", "exec \"$0\" 0<&- 1>&- 2>&-", exe.string()},
                    {{"XDG_RUNTIME_DIR", (dir / "run").string()}}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "err.txt"), "echo done\n");
    for (const auto& entry : fs::recursive_directory_iterator(dir / "run")) {
        if (entry.is_regular_file()) {
            EXPECT_FALSE(contains(readFile(entry.path()), "args=")) << entry.path();
        }
    }
}

} // namespace
} // namespace tarn::test
