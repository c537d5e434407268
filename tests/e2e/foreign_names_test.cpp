// Names in any script on Linux: the launcher keeps every byte of UTF-8 paths,
// arguments and configuration text, under C.UTF-8 against a real JDK.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

const std::string cjk = "\xE6\x9D\x8E\xE9\x9B\xB7";                      // 李雷
const std::string cyrillic = "\xD0\x9E\xD0\xBB\xD1\x8C\xD0\xB3\xD0\xB0"; // Ольга
const std::string greek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";    // Ωμέγα
const std::string report = "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82";   // отчёт
const std::string emoji = "\xF0\x9F\x98\x80";                            // 😀

TEST(ForeignNames, ProgramConfigurationLibrariesRuntimeAndOutputOfAnyScript) {
    TempDir dir;
    // No class path entry holds a character beyond U+FFFF: the JDK cannot open
    // such a JAR (java -cp fails alike, 17 and 25: "Error decoding percent
    // encoded characters" or class not found).
    fs::path home = dir / (cjk + " " + cyrillic);
    fs::create_directories(home / (greek + emoji));
    fs::create_directories(home / cyrillic);
    fs::copy_file(javaApps().libJar, home / cyrillic / (cjk + ".jar"));
    fs::path kit = dir / "Users" / cjk / ".jdks";
    fs::create_directories(kit);
    fs::create_directory_symlink(installedJdks().front().home, kit / (cyrillic + "-jdk"));

    fs::path exe = home / greek;
    fs::copy_file(wrap(dir.path(), "app",
                       "option -Decho.props=report,title,where,java.class.path,tarn.app.path\r\n"
                       "option -Decho.env=GREETING\r\nexport GREETING=" +
                           cjk + emoji + "\r\nforcecwd " + greek + emoji + "\r\nstdout " + cjk +
                           ".log\r\nproperty where=%PWD%\r\njre_order e\r\n"),
                  exe);
    // UTF-8 without a mark, as editors save it.
    writeFile(home / (greek + ".cfg"),
              "option -Dreport=" + report + emoji + "\r\nproperty title=" + greek + " " + emoji +
                  "\r\nlibs " + cyrillic + "\r\nargv " + report + ".pdf\r\n");
    Outcome r = run(exe, {greek + ".txt", emoji, ""},
                    {{"JAVA_HOME", (kit / (cyrillic + "-jdk")).string()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    std::string work = (home / (greek + emoji)).string();
    EXPECT_EQ(readFile(home / (greek + emoji) / (cjk + ".log")),
              "args=4\narg=" + report + ".pdf\narg=" + greek + ".txt\narg=" + emoji +
                  "\narg=\nprop report=" + report + emoji + "\nprop title=" + greek + " " + emoji +
                  "\nprop where=" + work + "/\nprop java.class.path=" + exe.string() + ":" +
                  home.string() + "/" + cyrillic + "/" + cjk + ".jar\nprop tarn.app.path=" +
                  exe.string() + "\nenv GREETING=" + cjk + emoji + "\n");
}

} // namespace
} // namespace tarn::test
