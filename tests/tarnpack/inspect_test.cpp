// Reading a wrapped program back with --inspect.
#include "support.h"

#include <gtest/gtest.h>

using namespace tptest;

namespace {

class Inspect : public ::testing::Test {
  protected:
    TempDir dir;
    std::string stubPath = dir / "tarn";
    std::string jarPath = dir / "app.jar";
    std::string cfgPath = dir / "app.cfg";
    std::string outPath = dir / "app";
    Bytes stub = makeStub(1000, 500);

    void SetUp() override { writeFile(stubPath, stub); }

    void pack(const Bytes& config, const Bytes& jar) {
        writeFile(cfgPath, config);
        writeFile(jarPath, jar);
        Result run = tarnpack(
            {"--jar", jarPath, "--launcher", stubPath, "--config", cfgPath, "--out", outPath});
        ASSERT_EQ(run.status, 0) << run.err;
    }
};

TEST_F(Inspect, ReportsEveryPieceOfAUtf8Program) {
    Bytes config = bytesOf("mainclass a.B\r\njvmoption -Dx=caf\xC3\xA9\nlast");
    Bytes jar = makeZip({{"META-INF/MANIFEST.MF", bytesOf("Main-Class: a.B\r\n"), true}},
                        bytesOf("a comment"));
    pack(config, jar);
    size_t archiveSize = jar.size() - 9;
    size_t block = stub.size();
    size_t length = config.size() + 1;

    Result run = tarnpack({"--inspect", outPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::string fileSize = std::to_string(readFile(outPath).size());
    std::vector<std::string> expected = {
        "file:            " + outPath + " (" + fileSize + " bytes)",
        "stub:            1508 bytes",
        "configuration:   offset 1508, length " + std::to_string(length) + " (" +
            std::to_string(config.size()) + " bytes + NUL), no byte-order mark (ANSI or UTF-8)",
        "reserved:        16 bytes, all zero",
        "archive:         offset " + std::to_string(block + length + 20) + ", size " +
            std::to_string(archiveSize),
        "archive comment: 9 bytes",
        "slot:            matches (" + std::to_string(archiveSize) + ") at offset 1000",
        "configuration text:",
        "  mainclass a.B",
        "  jvmoption -Dx=caf\xC3\xA9",
        "  last",
    };
    EXPECT_EQ(lines(run.out), expected);
}

TEST_F(Inspect, DecodesUtf16AndShowsEncoding) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little);
        Bytes bom = little ? Bytes{0xFF, 0xFE} : Bytes{0xFE, 0xFF};
        pack(concat({bom, utf16(u"mainclass p.\u00DC\r\n# \U0001F600 \xD800!\r\n", little)}),
             makeJar("Main-Class: a.B\r\n"));
        Result run = tarnpack({"--inspect", outPath});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> out = lines(run.out);
        ASSERT_EQ(out.size(), 10u) << run.out;
        EXPECT_NE(out[2].find(little ? "UTF-16LE" : "UTF-16BE"), std::string::npos) << out[2];
        EXPECT_EQ(out[8], "  mainclass p.\xC3\x9C");
        // An unpaired surrogate shows as U+FFFD rather than as broken UTF-8.
        EXPECT_EQ(out[9], "  # \xF0\x9F\x98\x80 \xEF\xBF\xBD!");
    }
}

TEST_F(Inspect, ControlBytesAreMasked) {
    pack(bytesOf("mainclass a.B\x1b[2J\r\n\r\n"), makeJar(""));
    Result run = tarnpack({"--inspect", outPath});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> out = lines(run.out);
    ASSERT_GE(out.size(), 10u);
    EXPECT_EQ(out[8], "  mainclass a.B?[2J");
    EXPECT_EQ(out[9], "  ");
}

TEST_F(Inspect, SlotMismatchAndMissingSlot) {
    Bytes jar = makeJar("Main-Class: a.B\r\n");
    pack(bytesOf("mainclass a.B"), jar);
    Bytes out = readFile(outPath);
    size_t slot = slotOffset(stub);

    Bytes wrongSize = out;
    wrongSize[slot] ^= 1;
    writeFile(outPath, wrongSize);
    Result run = tarnpack({"--inspect", outPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("slot:            MISMATCH (holds " + std::to_string(jar.size() ^ 1) +
                           ", archive is " + std::to_string(jar.size()) + ")\n"),
              std::string::npos)
        << run.out;

    Bytes unpatched = out;
    std::copy_n("TARN", 4, unpatched.begin() + static_cast<long>(slot));
    writeFile(outPath, unpatched);
    run = tarnpack({"--inspect", outPath});
    EXPECT_NE(run.out.find("slot:            MISMATCH (still holds TARNSLOT"), std::string::npos)
        << run.out;

    Bytes gone = out;
    std::fill_n(gone.begin() + static_cast<long>(slot), 8, 0);
    writeFile(outPath, gone);
    run = tarnpack({"--inspect", outPath});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("slot:            not found\n"), std::string::npos) << run.out;
}

TEST_F(Inspect, PrefixedArchiveFoundThroughSlot) {
    // The central directory counts from the inner archive, 64 bytes into the
    // JAR file: only the slot tells where the JAR itself begins.
    Bytes jar = concat({Bytes(64, 0x22), makeJar("Main-Class: a.B\r\n")});
    pack(bytesOf("mainclass a.B"), jar);

    Result run = tarnpack({"--inspect", outPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("archive:         offset 1542, size " + std::to_string(jar.size())),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("slot:            matches"), std::string::npos) << run.out;
}

TEST_F(Inspect, RefusesFilesThatAreNotWrappedPrograms) {
    writeFile(dir / "plain.jar", makeJar("Main-Class: a.B\r\n"));
    writeFile(dir / "text", bytesOf("just some text\n"));
    writeFile(dir / "empty", {});
    for (const char* name : {"plain.jar", "text", "empty", "tarn"}) {
        SCOPED_TRACE(name);
        Result run = tarnpack({"--inspect", dir / name});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "tarnpack: error: file '" + (dir / name) + "' is not a wrapped program" +
                               (std::string(name) == "plain.jar"
                                    ? " (no configuration block before the archive)\n"
                                    : " (no application archive at its end)\n"));
    }
    Result missing = tarnpack({"--inspect", dir / "nope"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tarnpack: error: cannot open file '" + (dir / "nope") +
                               "': No such file or directory\n");
}

} // namespace
