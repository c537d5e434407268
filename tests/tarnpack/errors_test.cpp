// Bad input: one clear line, the right exit status, and nothing half-written.
#include "support.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tptest;

namespace {

class Errors : public ::testing::Test {
  protected:
    TempDir dir;
    std::string stubPath = dir / "tarn";
    std::string jarPath = dir / "app.jar";
    std::string cfgPath = dir / "app.cfg";
    std::string outPath = dir / "app";
    Bytes previous = bytesOf("previous program");

    void SetUp() override {
        writeFile(stubPath, makeStub());
        writeFile(jarPath, makeJar("Main-Class: a.B\r\n"));
        writeFile(outPath, previous);
    }

    Result pack(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--jar",  jarPath, "--launcher",
                                         stubPath, "--out", outPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return tarnpack(args);
    }

    // Failed with exactly this message, and the old output and the directory are as before.
    void expectError(const Result& run, const std::string& message) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "tarnpack: error: " + message + "\n");
        EXPECT_EQ(readFile(outPath), previous);
        for (const std::string& name : dir.entries()) {
            EXPECT_EQ(name.find(".tarnpack-"), std::string::npos) << "left behind: " << name;
        }
    }
};

TEST_F(Errors, MissingInputsAreNamed) {
    expectError(tarnpack({"--jar", dir / "none.jar", "--launcher", stubPath, "--out", outPath}),
                "cannot open JAR '" + (dir / "none.jar") + "': No such file or directory");
    expectError(tarnpack({"--jar", jarPath, "--launcher", dir / "none", "--out", outPath}),
                "cannot open launcher '" + (dir / "none") + "': No such file or directory");
    expectError(pack({"--config", dir / "none.cfg"}), "cannot open configuration '" +
                                                          (dir / "none.cfg") +
                                                          "': No such file or directory");
    expectError(pack({"--config", dir.path()}),
                "configuration '" + dir.path() + "' is not a regular file");
}

TEST_F(Errors, JarThatIsNoUsableArchive) {
    writeFile(jarPath, bytesOf("this is not a zip file at all, only text\n"));
    expectError(pack(), "JAR '" + jarPath +
                            "' is not a ZIP archive (no end-of-central-directory "
                            "record)");
    writeFile(jarPath, {});
    expectError(pack(), "JAR '" + jarPath +
                            "' is not a ZIP archive (no end-of-central-directory "
                            "record)");

    Bytes zip = makeJar("Main-Class: a.B\r\n");
    writeFile(jarPath, concat({zip, bytesOf("trailing junk")}));
    expectError(pack(), "JAR '" + jarPath +
                            "' is damaged: its end-of-central-directory record "
                            "does not match the file size");
}

TEST_F(Errors, ArchiveCommentTheLauncherCouldNotSeePast) {
    writeFile(jarPath, makeZip({{"a", bytesOf("a"), false}}, Bytes(51201, 'c')));
    expectError(pack({"--main-class", "a.B"}),
                "JAR '" + jarPath +
                    "' has an archive comment of 51,201 bytes; at most 51,200 are "
                    "allowed");
    writeFile(jarPath, makeZip({{"a", bytesOf("a"), false}}, Bytes(65535, 'c')));
    expectError(pack({"--main-class", "a.B"}),
                "JAR '" + jarPath +
                    "' has an archive comment of 65,535 bytes; at most 51,200 are "
                    "allowed");

    // A signature inside the comment would be taken for the real end record.
    Bytes comment = concat({bytesOf("see "), {'P', 'K', 5, 6}, Bytes(30, 'x')});
    writeFile(jarPath, makeZip({{"a", bytesOf("a"), false}}, comment));
    expectError(pack({"--main-class", "a.B"}),
                "JAR '" + jarPath + "' has an archive comment containing a ZIP end-of-central-" +
                    "directory signature, which would hide the real one");
}

TEST_F(Errors, ArchiveTooLargeForTheSlot) {
    // A sparse file: 4 GiB of nothing followed by an end record.
    std::string big = dir / "big.jar";
    int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    Bytes record = concat({le32(0x06054b50), Bytes(18, 0)});
    off_t at = off_t(1) << 32;
    ASSERT_EQ(::pwrite(fd, record.data(), record.size(), at), static_cast<ssize_t>(record.size()));
    ::close(fd);
    expectError(
        tarnpack({"--jar", big, "--launcher", stubPath, "--out", outPath, "--main-class", "a.B"}),
        "JAR '" + big + "' is too large: its archive of 4294967318 bytes does not fit the " +
            "32-bit size slot");
}

TEST_F(Errors, LauncherWithoutOneFreshSlot) {
    writeFile(stubPath, Bytes(5000, 0x90));
    expectError(pack(), "launcher '" + stubPath + "' has no archive size slot (TARNSLOT marker); " +
                            "it is not a tarn launcher, or its slot was already patched");

    Bytes patched = makeStub();
    std::copy_n("\x10\x20\x00\x00", 4, patched.begin() + static_cast<long>(slotOffset(patched)));
    writeFile(stubPath, patched);
    expectError(pack(), "launcher '" + stubPath + "' has no archive size slot (TARNSLOT marker); " +
                            "it is not a tarn launcher, or its slot was already patched");

    writeFile(stubPath, concat({makeStub(), makeStub()}));
    expectError(pack(),
                "launcher '" + stubPath + "' has 2 TARNSLOT markers; exactly one is needed");
}

TEST_F(Errors, WrappedProgramIsNoLauncher) {
    std::string wrapped = dir / "wrapped";
    ASSERT_EQ(tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", wrapped}).status, 0);
    Bytes before = readFile(wrapped);
    previous = readFile(outPath);
    expectError(tarnpack({"--jar", jarPath, "--launcher", wrapped, "--out", outPath}),
                "launcher '" + wrapped + "' already carries an application archive (it is a " +
                    "wrapped program, not a bare launcher)");
    EXPECT_EQ(readFile(wrapped), before);
}

TEST_F(Errors, ResourcesNeedAWindowsLauncher) {
    writeFile(dir / "app.ico", bytesOf("not an icon"));
    expectError(pack({"--icon", dir / "app.ico"}),
                "launcher '" + stubPath +
                    "' is not a Windows launcher with resources; --icon, --manifest, --admin and "
                    "the version options need a Windows target");
}

TEST_F(Errors, ConfigurationOverOneMebibyte) {
    Bytes config(1 << 20, '#');
    config[0] = '\n';
    writeFile(cfgPath, concat({config, bytesOf("x")}));
    expectError(pack({"--config", cfgPath}),
                "configuration '" + cfgPath + "' is larger than 1 MiB");

    // Exactly 1 MiB is fine until the main class line pushes it over.
    writeFile(cfgPath, config);
    expectError(pack({"--config", cfgPath}), "configuration is larger than 1 MiB");
    std::copy_n("mainclass a.B\n", 14, config.begin());
    writeFile(cfgPath, config);
    Result run = pack({"--config", cfgPath});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath).size(),
              makeStub().size() + config.size() + 1 + 4 + 16 + readFile(jarPath).size());
}

TEST_F(Errors, NoMainClassAnywhere) {
    const std::string message =
        "no main class: pass --main-class or add a Main-Class to the JAR manifest";
    writeFile(jarPath, makeZip({{"a.class", Bytes(10, 1), true}}));
    expectError(pack(), message);
    // Main-Class only in a per-entry section does not count.
    writeFile(jarPath,
              makeJar("Manifest-Version: 1.0\r\n\r\nName: a.class\r\nMain-Class: a.B\r\n"));
    expectError(pack(), message);
    writeFile(jarPath, makeJar("Main-Class:   \r\n"));
    expectError(pack(), message);
    writeFile(cfgPath, bytesOf("mainclassXYZ a.B\n"));
    expectError(pack({"--config", cfgPath}), message);
}

TEST_F(Errors, DamagedManifest) {
    Bytes jar = makeJar("Manifest-Version: 1.0\r\nMain-Class: a.B\r\n\r\n", true);
    // Corrupt the compressed manifest data (after the 30-byte local header and name
    // of the first entry "META-INF/" and the second header).
    size_t data = 30 + 9 + 30 + 20;
    Bytes flipped = jar;
    flipped[data + 2] ^= 0xFF;
    flipped[data + 3] ^= 0xFF;
    writeFile(jarPath, flipped);
    Result run = pack();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(
        run.err.rfind("tarnpack: error: JAR '" + jarPath + "': META-INF/MANIFEST.MF is damaged", 0),
        0u)
        << run.err;
    EXPECT_EQ(readFile(outPath), previous);

    // The manifest's central directory entry follows the 55-byte one of "META-INF/".
    auto manifestEntry = [](const Bytes& zip) {
        return zip.size() - 22 - (46 + 9) - (46 + 20) - (46 + 22) + (46 + 9);
    };
    Bytes badOffset = jar;
    badOffset[manifestEntry(jar) + 42] = 0x05; // a local header that is not one
    writeFile(jarPath, badOffset);
    expectError(pack(), "JAR '" + jarPath + "': META-INF/MANIFEST.MF has a bad local header");

    Bytes method = makeJar("Main-Class: a.B\r\n", false);
    method[manifestEntry(method) + 10] = 12; // bzip2
    writeFile(jarPath, method);
    expectError(pack(), "JAR '" + jarPath +
                            "': META-INF/MANIFEST.MF uses unsupported compression method 12");
}

TEST_F(Errors, OutputMustNotBeAnInput) {
    Bytes jar = readFile(jarPath);
    Result run = tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", jarPath});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tarnpack: error: output '" + jarPath + "' is the same file as the JAR '" +
                           jarPath + "'\n");
    EXPECT_EQ(readFile(jarPath), jar);

    ASSERT_EQ(::symlink(stubPath.c_str(), (dir / "link").c_str()), 0);
    Bytes stub = readFile(stubPath);
    run = tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", dir / "link"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tarnpack: error: output '" + (dir / "link") +
                           "' is the same file as the launcher '" + stubPath + "'\n");
    EXPECT_EQ(readFile(stubPath), stub);

    writeFile(cfgPath, bytesOf("mainclass a.B\n"));
    ASSERT_EQ(::link(cfgPath.c_str(), (dir / "hard").c_str()), 0);
    run = tarnpack(
        {"--jar", jarPath, "--launcher", stubPath, "--config", cfgPath, "--out", dir / "hard"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tarnpack: error: output '" + (dir / "hard") +
                           "' is the same file as the configuration '" + cfgPath + "'\n");
    EXPECT_EQ(readFile(cfgPath), bytesOf("mainclass a.B\n"));
}

TEST_F(Errors, OutputThatCannotBeWritten) {
    expectError(tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", dir.path()}),
                "output '" + dir.path() + "' is a directory");
    std::string nested = dir / "no/such/dir/app";
    expectError(tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", nested}),
                "cannot create output '" + nested + "': No such file or directory");
    EXPECT_FALSE(exists(dir / "no"));
}

TEST_F(Errors, BadMainClassNames) {
    expectError(pack({"--main-class", "a.B\r\nmainclass evil.C"}),
                "main class name must not contain control characters or line breaks");
    writeFile(cfgPath, Bytes{0xFF, 0xFE, 'x', 0});
    expectError(pack({"--config", cfgPath, "--main-class", "a.\xC3"}),
                "main class name 'a.\xC3' is not valid UTF-8");
    writeFile(cfgPath, Bytes{0xFF, 0xFE, 'x', 0, 'y'});
    expectError(pack({"--config", cfgPath}),
                "configuration is UTF-16 but has an odd number of bytes");
}

// ---- Command-line mistakes: exit 2 with a hint -------------------------------

void expectUsageError(const std::vector<std::string>& args, const std::string& message) {
    SCOPED_TRACE(message);
    Result run = tarnpack(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tarnpack: error: " + message + "\nTry 'tarnpack --help'.\n");
}

TEST(CommandLine, UsageMistakes) {
    TempDir dir;
    std::string out = dir / "out";
    expectUsageError({}, "nothing to do: pass --jar and --out, or --inspect");
    expectUsageError({"--jar", "a.jar", "--out", out, "--frobnicate"},
                     "unknown option '--frobnicate'");
    expectUsageError({"-x"}, "unknown option '-x'");
    expectUsageError({"--jar", "a.jar", "--out", out, "extra"}, "unexpected argument 'extra'");
    expectUsageError({"--out", out}, "missing --jar APP.jar");
    expectUsageError({"--jar", "a.jar"}, "missing --out OUT");
    expectUsageError({"--jar", "a.jar", "--out", out, "--launcher", "s", "--target", "win32"},
                     "--launcher and --target cannot be used together");
    expectUsageError(
        {"--jar", "a.jar", "--out", out, "--target", "macos"},
        "unknown target 'macos' (expected linux-x64, win32, win64, win32-gui or win64-gui)");
    expectUsageError({"--jar", "a.jar", "--out"}, "option '--out' needs a value");
    expectUsageError({"--jar", "--out", out}, "option '--jar' needs a value");
    expectUsageError({"--jar=", "--out", out}, "option '--jar' needs a value");
    expectUsageError({"--jar", "a", "--jar", "b", "--out", out},
                     "option '--jar' given more than once");
    expectUsageError({"--inspect", "x", "--jar", "a.jar"},
                     "--inspect cannot be combined with --jar");
    for (const char* version : {"1.2.3.4.5", "1..2", "65536", "v1", "1.2."})
        expectUsageError({"--jar", "a.jar", "--out", out, "--app-version", version},
                         "--app-version '" + std::string(version) +
                             "' is not one to four numbers 0-65535 separated by dots");
    expectUsageError({"--jar", "a.jar", "--out", out, "--target", "linux-x64", "--admin"},
                     "icons, manifests and version information need a Windows target");
    expectUsageError({"--jar", "a.jar", "--out", out, "--admin", "--admin"},
                     "option '--admin' given more than once");
    EXPECT_FALSE(exists(out));
}

TEST(CommandLine, EqualsFormTakesValues) {
    TempDir dir;
    writeFile(dir / "tarn", makeStub());
    Bytes jar = makeJar("Main-Class: a.B\r\n");
    writeFile(dir / "a.jar", jar);
    Result run = tarnpack({"--jar=" + (dir / "a.jar"), "--launcher=" + (dir / "tarn"),
                           "--out=" + (dir / "out"), "--main-class=x=y"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir / "out"), expectedOutput(makeStub(), bytesOf("mainclass x=y\r\n"), jar));
}

TEST(CommandLine, HelpAndVersion) {
    for (const char* flag : {"--help", "-h"}) {
        Result run = tarnpack({flag});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        for (const char* text :
             {"Usage:", "tarnpack --jar APP.jar --out OUT", "tarnpack --inspect EXE",
              "--config CFG", "--launcher STUB", "--target TARGET", "linux-x64", "win32", "win64",
              "--main-class NAME", "--version", "Examples:", "lib/tarn/TARGET",
              "16 bytes: zero, or \"TRNR\"", "--runtime DIR", "--jlink", "51,200"}) {
            EXPECT_NE(run.out.find(text), std::string::npos) << text;
        }
    }
    // Help wins over whatever else is on the line.
    EXPECT_EQ(tarnpack({"--jar", "x", "--help"}).status, 0);
    Result version = tarnpack({"--version"});
    EXPECT_EQ(version.status, 0);
    ASSERT_EQ(lines(version.out).size(), 1u);
    EXPECT_EQ(version.out.rfind("tarnpack ", 0), 0u);
}

} // namespace

TEST_F(Errors, RuntimeWithoutALibraryForTheLaunchersMachine) {
    Bytes stub = makeStub();
    stub[18] = 62; // e_machine: x86-64
    stub[19] = 0;
    writeFile(stubPath, stub);
    std::string runtime = dir / "rt";
    std::filesystem::create_directories(runtime + "/lib/server");
    writeFile(runtime + "/release", bytesOf("JAVA_VERSION=\"17\"\n"));
    expectError(pack({"--runtime", runtime}),
                "runtime '" + runtime +
                    "' has no libjvm.so (a runtime for x86-64 Linux is needed)");

    // A 32-bit Windows library under the Linux name.
    Bytes pe(0x100, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[60] = 0x80;
    std::copy_n("PE\0\0\x4c\x01", 6, pe.begin() + 0x80);
    writeFile(runtime + "/lib/server/libjvm.so", pe);
    expectError(pack({"--runtime", runtime}),
                "runtime '" + runtime +
                    "' holds lib/server/libjvm.so for 32-bit x86 Windows, but the launcher runs "
                    "on x86-64 Linux");

    expectError(pack({"--runtime", dir / "none"}),
                "runtime '" + (dir / "none") + "' is not a folder");
    writeFile(stubPath, makeStub());
    expectError(pack({"--runtime", runtime}),
                "cannot tell which machine launcher '" + stubPath + "' runs on");
}
