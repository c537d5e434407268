#include "config/launch_config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tarn {
namespace {

using namespace std::string_literals;

using test::emptyZip;
using test::le32;
using test::TempDir;
using test::writeFile;

// Writes an executable image with a trailer; returns the archive size the
// generator would put in the slot.
uint32_t writeImage(const test::fs::path& path, const std::string& config,
                    const std::string& archive = emptyZip()) {
    std::string block = config + std::string(1, '\0');
    writeFile(path, "MZ-stub-image" + block + le32(uint32_t(block.size())) + std::string(16, '\0') +
                        archive);
    return uint32_t(archive.rfind(std::string("PK\x05\x06", 4)) + 22);
}

std::string text(const LaunchConfig& c) {
    return c.cStr();
}
std::string value(const LaunchConfig& c, const char* key, bool embeddedOnly = false) {
    ByteString v = c.lookup(key, embeddedOnly, false);
    return std::string(v.cStr());
}

struct Loaded : LaunchConfig {
    Loaded(const test::fs::path& exe, uint32_t archiveSize) : LaunchConfig(false) {
        loadFrom(ByteString(exe.string().c_str()), archiveSize);
    }
};

TEST(Trailer, EmbeddedBlockAloneAndWithAnArchiveComment) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    Loaded plain(exe, writeImage(exe, "mainclass a.Main\r\nminjre 1.8"));
    EXPECT_EQ(text(plain), "mainclass a.Main\r\nminjre 1.8");
    EXPECT_EQ(plain.externalLength(), 0);
    EXPECT_EQ(plain.exePath().compare(exe.string().c_str()), 0);
    EXPECT_EQ(plain.appHome().compare(dir.dir().c_str()), 0);
    EXPECT_TRUE(plain.workDir().endsWithSeparator());

    Loaded commented(exe, writeImage(exe, "mainclass b.Main", emptyZip("built by tarn")));
    EXPECT_EQ(value(commented, "mainclass"), "b.Main");
}

TEST(Trailer, ExternalFileComesFirstAndOnlyTheFirstCandidateIsRead) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    uint32_t size = writeImage(exe, "mainclass embedded.Main\r\nminjre 1.6\r\nstdout e.log");
    writeFile(dir / "tool.exe.cfg", "minjre\r\nmainclass external.Main\nstdout x.log");
    writeFile(dir / "tool.cfg", "stdout never.log");
    Loaded c(exe, size);
    EXPECT_EQ(value(c, "minjre"), "");                    // the external empty line wins
    EXPECT_EQ(c.mainClass().compare("embedded.Main"), 0); // mainclass is embedded only
    EXPECT_EQ(value(c, "stdout"), "x.log");               // last line without an end still separate
    EXPECT_EQ(value(c, "minjre", true), "1.6");
    EXPECT_EQ(c.externalLength(),
              int32_t(strlen("minjre\r\nmainclass external.Main\nstdout x.log\r\n")));

    test::fs::remove(dir / "tool.exe.cfg");
    writeFile(dir / "tool.config", "stdout later.log");
    Loaded replaced(exe, size);
    EXPECT_EQ(value(replaced, "stdout"), "never.log"); // tool.exe.config absent, tool.cfg next
}

TEST(Trailer, EmptyAndMarkOnlyExternalFiles) {
    TempDir dir;
    auto exe = dir / "app";
    uint32_t size = writeImage(exe, "a 1");
    writeFile(dir / "app.cfg", "");
    Loaded empty(exe, size);
    EXPECT_EQ(empty.externalLength(), 0);
    EXPECT_EQ(text(empty), "a 1");

    writeFile(dir / "app.cfg", "\xEF\xBB\xBF");
    writeFile(dir / "app.config", "a 2");
    Loaded markOnly(exe, size); // chosen although empty: app.config is not read
    EXPECT_EQ(value(markOnly, "a"), "1");
}

TEST(Trailer, EveryEncodingOfTheExternalFileGivesTheSameStore) {
    if (!setlocale(LC_ALL, test::onWindows ? ".1252" : "C.UTF-8"))
        GTEST_SKIP() << "no locale with an e-acute";
    TempDir dir;
    auto exe = dir / "tool.exe";
    uint32_t size = writeImage(exe, "b 2");
    const std::string expected = "name caf\xC3\xA9\r\nb 2";
    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (char16_t u : std::u16string(u"name caf\u00E9")) {
        utf16le += char(u & 0xFF), utf16le += char(u >> 8);
        utf16be += char(u >> 8), utf16be += char(u & 0xFF);
    }
    std::string ansi = test::onWindows ? "name caf\xE9" : "name caf\xC3\xA9";
    for (const std::string& bytes : {utf16le, utf16be, "\xEF\xBB\xBFname caf\xC3\xA9"s, ansi}) {
        writeFile(dir / "tool.exe.cfg", bytes);
        Loaded c(exe, size);
        EXPECT_EQ(text(c), expected) << bytes;
    }
    setlocale(LC_ALL, "C");
}

TEST(Trailer, UnmarkedUtf8IsReadAsUtf8WhateverTheCodePage) {
    if (!setlocale(LC_ALL, test::onWindows ? ".1252" : "C"))
        GTEST_SKIP() << "no such locale";
    TempDir dir;
    auto exe = dir / "tool.exe";
    const std::string line = "name \xCE\xA9 caf\xC3\xA9 \xF0\x9F\x98\x80";
    uint32_t size = writeImage(exe, line);
    writeFile(dir / "tool.cfg", "other " + line.substr(5));
    Loaded c(exe, size);
    EXPECT_EQ(text(c), "other " + line.substr(5) + "\r\n" + line);
    setlocale(LC_ALL, "C");
}

TEST(Trailer, Utf16EmbeddedBlockIsReadWhole) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    std::string block = "\xFF\xFE";
    for (char c : std::string("mainclass a.B\r\nminjre 9"))
        block += c, block += '\0';
    Loaded c(exe, writeImage(exe, block));
    EXPECT_EQ(text(c), "mainclass a.B\r\nminjre 9");
}

TEST(Trailer, NulBytesAreDroppedInEverySource) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    uint32_t size = writeImage(exe, "c 3\0\r\nd \x34"s);
    std::string utf16 = "\xFF\xFE"s + "a\0 \0\0\0\x31\0"s; // "a \0 1": a zero unit
    for (const std::string& external : {"\xEF\xBB\xBF"
                                        "a 1\r\n\0b 2"s,
                                        "a\0 1\r\nb 2"s, utf16}) {
        writeFile(dir / "tool.exe.cfg", external);
        Loaded c(exe, size);
        EXPECT_EQ(value(c, "a"), "1") << external;
        EXPECT_EQ(value(c, "c"), "3") << external;
        EXPECT_EQ(value(c, "d"), "4") << external;
        EXPECT_EQ(value(c, "b"), external == utf16 ? "" : "2") << external;
    }
}

TEST(Trailer, DisableExternalOnlyFromTheEmbeddedBlock) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    writeFile(dir / "tool.cfg", "stdout out.log\r\ndisableexternal true");
    Loaded ignoredInFile(exe, writeImage(exe, "a 1"));
    EXPECT_EQ(value(ignoredInFile, "stdout"), "out.log");

    Loaded disabled(exe, writeImage(exe, "disableexternal TRUE\r\na 1"));
    EXPECT_EQ(value(disabled, "stdout"), "");
    EXPECT_EQ(disabled.externalLength(), 0);
    EXPECT_EQ(text(disabled), "disableexternal TRUE\r\na 1");

    Loaded trailingBlank(exe, writeImage(exe, "disableexternal true \r\na 1"));
    EXPECT_EQ(value(trailingBlank, "stdout"), "out.log");
}

TEST(Trailer, AbsentOrInconsistentTrailersGiveAnEmptyStore) {
    TempDir dir;
    auto exe = dir / "tool.exe";
    writeFile(exe, "tiny");
    EXPECT_EQ(text(Loaded(exe, 0)), "");           // shorter than any trailer
    EXPECT_EQ(text(Loaded(exe, 0xFFFFFFFFu)), ""); // archive larger than the file
    std::string zip = emptyZip();
    writeFile(exe, std::string("x") + le32(1000) + std::string(16, '\0') + zip);
    EXPECT_EQ(text(Loaded(exe, uint32_t(zip.size()))), ""); // block longer than the file
    writeFile(exe, "");
    EXPECT_EQ(text(Loaded(exe, 22)), "");
    EXPECT_EQ(text(Loaded(dir / "missing.exe", 22)), "");
    // A long comment-less scan over a file of "PK" bytes stays inside the file.
    writeFile(exe, std::string(70000, 'P'));
    EXPECT_EQ(text(Loaded(exe, 100)), "");
}

TEST(Trailer, ASignatureAppendedAfterWrappingIsSkipped) {
    // A PE32+ header whose security directory points at a certificate table
    // after the trailer, as signing tools leave it (padded to 8 bytes first).
    // The table is larger than any archive comment could be.
    std::string pe = "MZ" + std::string(0x3A, '\0') + le32(0x40) + "PE"s + std::string(2, '\0');
    pe += std::string(16, '\0') + "\xF0\x00"s + std::string(2, '\0'); // SizeOfOptionalHeader 240
    std::string optional = "\x0B\x02"s + std::string(238, '\0');
    optional.replace(108, 4, le32(16));
    std::string block = "mainclass signed.Main"s + '\0';
    std::string zip = emptyZip();
    std::string body = pe + optional + block + le32(uint32_t(block.size())) +
                       std::string(16, '\0') + zip + std::string(5, '\0');
    uint32_t tableSize = 60000;
    std::string table = le32(tableSize) + "\x00\x02\x02\x00"s + std::string(tableSize - 8, 'S');
    std::string image = body + table;
    image.replace(0x40 + 24 + 112 + 4 * 8, 8, le32(uint32_t(body.size())) + le32(tableSize));
    TempDir dir;
    writeFile(dir / "signed.exe", image);
    EXPECT_EQ(text(Loaded(dir / "signed.exe", uint32_t(zip.size()))), "mainclass signed.Main");
    // A directory entry reaching past the end of the file marks nothing.
    image.replace(0x40 + 24 + 112 + 4 * 8 + 4, 4, le32(tableSize + 1));
    writeFile(dir / "signed.exe", image);
    EXPECT_EQ(text(Loaded(dir / "signed.exe", uint32_t(zip.size()))), "");
}

TEST(Trailer, TheRunningExecutableReadsItsOwnSlot) {
    if (test::childProcessesAreSlow())
        GTEST_SKIP() << "child processes start too slowly here";
    TempDir dir;
    auto probe = test::makeProbe(dir / (std::string("probe") + test::exeSuffix),
                                 "mainclass own.Main\r\noption -Xss1m", emptyZip("comment"));
    writeFile(dir / "probe.cfg", "option -Dfrom=file");
    auto result = test::runCommand(test::quoteArgument(probe.string()) + " mainclass option");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("mainclass=own.Main"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("option=-Dfrom=file"), std::string::npos) << result.out;

    // The bare launcher image has no trailer: it runs with an empty store.
    auto bare = dir / (std::string("bare") + test::exeSuffix);
    writeFile(bare, test::readFile(TARN_CONFIG_PROBE));
    test::fs::permissions(bare, test::fs::perms::owner_all, test::fs::perm_options::add);
    result = test::runCommand(test::quoteArgument(bare.string()));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("external=0 trailerEnd=0\n---\n"), std::string::npos) << result.out;
}

} // namespace
} // namespace tarn
