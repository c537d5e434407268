// Where the main class comes from and how its line lands in the configuration.
#include "support.h"

#include <gtest/gtest.h>

using namespace tptest;

namespace {

class MainClass : public ::testing::Test {
  protected:
    TempDir dir;
    std::string stubPath = dir / "tarn";
    std::string jarPath = dir / "app.jar";
    std::string cfgPath = dir / "app.cfg";
    std::string outPath = dir / "app";
    Bytes stub = makeStub();

    void SetUp() override {
        writeFile(stubPath, stub);
        writeFile(jarPath, makeJar("Manifest-Version: 1.0\r\nMain-Class: from.Manifest\r\n\r\n"));
    }

    // The configuration block tarnpack wrote, without its NUL.
    Bytes configWritten() {
        Bytes out = readFile(outPath);
        size_t block = stub.size();
        uint32_t length = 0;
        Bytes jar = readFile(jarPath);
        size_t lengthAt = out.size() - jar.size() - 16 - 4;
        for (int i = 3; i >= 0; --i) {
            length = (length << 8) | out[lengthAt + static_cast<size_t>(i)];
        }
        EXPECT_EQ(block + length, lengthAt);
        EXPECT_EQ(out[lengthAt - 1], 0);
        return Bytes(out.begin() + static_cast<long>(block),
                     out.begin() + static_cast<long>(lengthAt - 1));
    }

    // Packs config (nothing when null) with an optional --main-class.
    Bytes packWith(const Bytes* config, const char* mainClass) {
        std::vector<std::string> args = {"--jar",  jarPath, "--launcher",
                                         stubPath, "--out", outPath};
        if (config) {
            writeFile(cfgPath, *config);
            args.insert(args.end(), {"--config", cfgPath});
        }
        if (mainClass) {
            args.insert(args.end(), {"--main-class", mainClass});
        }
        Result run = tarnpack(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.status == 0 ? configWritten() : Bytes();
    }
};

TEST_F(MainClass, AppendedToPlainConfigWithoutMainClass) {
    Bytes unterminated = bytesOf("jvmoption -Xmx1g");
    EXPECT_EQ(packWith(&unterminated, "given.Main"),
              bytesOf("jvmoption -Xmx1g\r\nmainclass given.Main\r\n"));
    Bytes lf = bytesOf("jvmoption -Xmx1g\n");
    EXPECT_EQ(packWith(&lf, "given.Main"), bytesOf("jvmoption -Xmx1g\nmainclass given.Main\r\n"));
    Bytes cr = bytesOf("a\rb\r");
    EXPECT_EQ(packWith(&cr, "given.Main"), bytesOf("a\rb\rmainclass given.Main\r\n"));
}

TEST_F(MainClass, GivenNameGoesFirstWhenConfigAlreadyHasOne) {
    Bytes config = bytesOf("jvmoption -Xss2m\r\nmainclass old.Main\r\n");
    EXPECT_EQ(packWith(&config, "new.Main"), concat({bytesOf("mainclass new.Main\r\n"), config}));
}

TEST_F(MainClass, ConfigMainClassIsLeftAloneWithoutOption) {
    Bytes config = bytesOf("mainclass own.Main");
    EXPECT_EQ(packWith(&config, nullptr), config);
    // Not even a JAR without manifest needs one then.
    writeFile(jarPath, makeZip({{"x.txt", bytesOf("x"), false}}));
    EXPECT_EQ(packWith(&config, nullptr), config);
}

TEST_F(MainClass, KeyMatchingRules) {
    struct Case {
        const char* config;
        bool isMainClassLine;
    };
    const Case cases[] = {
        {"mainclass a.B", true},          {"MAINCLASS a.B", true},
        {"   MainClass=a.B", true},       {"mainclass", true},
        {"mainclass\r\n", true},          {"x=1\nmainclass:a.B\n", true},
        {"x=1\r\n  mainclass a.B", true}, {"mainclass-x y", true},
        {"mainclassx a.B", false},        {"mainclass_name a.B", false},
        {"mainclass2 a.B", false},        {"\tmainclass a.B", false},
        {"# mainclass a.B", false},       {"main class a.B", false},
        {"xmainclass a.B", false},        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        Bytes config = bytesOf(c.config);
        Bytes written = packWith(&config, "opt.Main");
        Bytes line = bytesOf("mainclass opt.Main\r\n");
        if (c.isMainClassLine) {
            EXPECT_EQ(written, concat({line, config}));
        } else {
            Bytes sep = config.empty() || config.back() == '\n' ? Bytes() : bytesOf("\r\n");
            EXPECT_EQ(written, concat({config, sep, line}));
        }
    }
}

TEST_F(MainClass, Utf8ByteOrderMarkStaysInFront) {
    Bytes bom = {0xEF, 0xBB, 0xBF};
    Bytes with = concat({bom, bytesOf("mainclass old.Main\r\n")});
    EXPECT_EQ(packWith(&with, "new.Main"),
              concat({bom, bytesOf("mainclass new.Main\r\nmainclass old.Main\r\n")}));
    Bytes without = concat({bom, bytesOf("jvmoption -Dname=caf\xC3\xA9")});
    EXPECT_EQ(packWith(&without, "new.Main"),
              concat({without, bytesOf("\r\nmainclass new.Main\r\n")}));
    // A mark alone is an empty configuration.
    EXPECT_EQ(packWith(&bom, nullptr), concat({bom, bytesOf("mainclass from.Manifest\r\n")}));
}

TEST_F(MainClass, Utf16LittleAndBigEndianKeepTheirEncoding) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "UTF-16LE" : "UTF-16BE");
        Bytes bom = little ? Bytes{0xFF, 0xFE} : Bytes{0xFE, 0xFF};

        Bytes plain = concat({bom, utf16(u"jvmoption -Dn=\u00E9", little)});
        EXPECT_EQ(packWith(&plain, "given.Main"),
                  concat({plain, utf16(u"\r\nmainclass given.Main\r\n", little)}));

        Bytes named = concat({bom, utf16(u"  MainClass old.Main\r\nx=1\r\n", little)});
        EXPECT_EQ(packWith(&named, "given.Main"),
                  concat({bom, utf16(u"mainclass given.Main\r\n  MainClass old.Main\r\nx=1\r\n",
                                     little)}));
        // Recognised in UTF-16 too, so the manifest is not consulted.
        EXPECT_EQ(packWith(&named, nullptr), named);

        Bytes fromManifest = concat({bom, utf16(u"x=1\n", little)});
        EXPECT_EQ(packWith(&fromManifest, nullptr),
                  concat({fromManifest, utf16(u"mainclass from.Manifest\r\n", little)}));

        // Non-ASCII names are encoded, surrogate pairs included.
        Bytes empty = bom;
        EXPECT_EQ(packWith(&empty, "p.\xC3\x9C\xF0\x9F\x98\x80"),
                  concat({bom, utf16(u"mainclass p.\u00DC\U0001F600\r\n", little)}));
    }
}

TEST_F(MainClass, PlainConfigGetsNameBytesAsGiven) {
    Bytes config = bytesOf("x=1\n");
    EXPECT_EQ(packWith(&config, "p.\xC3\x9C"), bytesOf("x=1\nmainclass p.\xC3\x9C\r\n"));
}

// ---- The JAR manifest as fallback -------------------------------------------

class Manifest : public MainClass {
  protected:
    Bytes packJar(const Bytes& jar) {
        writeFile(jarPath, jar);
        return packWith(nullptr, nullptr);
    }
};

TEST_F(Manifest, DeflatedWithContinuationLine) {
    std::string manifest = "Manifest-Version: 1.0\r\n"
                           "Created-By: 17 (Test)\r\n"
                           "Main-Class: com.example.some.rather.long.package.name.that.wrap\r\n"
                           " s.Application\r\n"
                           "\r\n";
    EXPECT_EQ(packJar(makeJar(manifest, true)),
              bytesOf("mainclass com.example.some.rather.long.package.name.that.wraps."
                      "Application\r\n"));
}

TEST_F(Manifest, StoredWithBareLineFeedsAndOddSpacing) {
    EXPECT_EQ(packJar(makeJar("Manifest-Version: 1.0\nmain-class:   a.b.C  \nX: y\n", false)),
              bytesOf("mainclass a.b.C\r\n"));
    EXPECT_EQ(packJar(makeJar("\xEF\xBB\xBFMain-Class: d.E", false)), bytesOf("mainclass d.E\r\n"));
    EXPECT_EQ(packJar(makeJar("Main-Class: f.\r G\r\n", false)), bytesOf("mainclass f.G\r\n"));
}

TEST_F(Manifest, FoundWhereverItSitsInTheArchive) {
    Bytes jar = makeZip({{"a/b.class", Bytes(50, 1), true},
                         {"meta-inf/manifest.mf", bytesOf("Main-Class: late.Entry\r\n"), true},
                         {"z.txt", bytesOf("z"), false}});
    EXPECT_EQ(packJar(jar), bytesOf("mainclass late.Entry\r\n"));
}

TEST_F(Manifest, ArchiveWithPrependedBytes) {
    // Self-extracting style: offsets count from the archive, not the file.
    Bytes jar = concat({Bytes(1000, 0x11), makeJar("Main-Class: pre.Fix\r\n")});
    EXPECT_EQ(packJar(jar), bytesOf("mainclass pre.Fix\r\n"));
}

TEST_F(Manifest, JarToolWrapsLongMainClass) {
    std::string jarTool = jdkTool("jar");
    if (jarTool.empty()) {
        GTEST_SKIP() << "no JDK 17";
    }
    std::string name = "org.example.applications.with.a.very.long.package.path.indeed.MainWindow";
    writeFile(dir / "Main.class", Bytes(64, 0xCA));
    Result jar = runProgram(jarTool, {"--create", "--file", jarPath, "--main-class", name, "-C",
                                      dir.path(), "Main.class"});
    ASSERT_EQ(jar.status, 0) << jar.err;
    Result run = tarnpack({"--jar", jarPath, "--launcher", stubPath, "--out", outPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(configWritten(), bytesOf("mainclass " + name + "\r\n"));
}

} // namespace
