#include "runtime/discovery.h"

#include "runtime/app_setup.h"
#include "runtime/machine.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

TEST(VersionFromName, TakesTheFirstNumberOfTheLastComponent) {
    const char* cases[][2] = {
        {"jdk-21.0.2+13", "21.0.2"},
        {"java-17-openjdk-amd64", "17"},
        {"jdk1.8.0_402", "1.8.0_402"},
        {"zulu-21", "21"},
        {"/opt/java/temurin-25/", "25"},
        {"C:\\Program Files\\Java\\jre1.8.0_45", "1.8.0_45"},
        {"21.0.2-tem", "21.0.2"},
        {"17.", "17"},
        {"current", ""},
        {"", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(text(versionFromName(c[0])), c[1]) << c[0];
    EXPECT_EQ(text(versionFromName(nullptr)), "");
}

std::string elfHeader(unsigned char bits, unsigned short machine) {
    std::string h(64, '\0');
    h[0] = 0x7F, h[1] = 'E', h[2] = 'L', h[3] = 'F', h[4] = char(bits == 64 ? 2 : 1), h[5] = 1;
    h[18] = char(machine & 0xFF), h[19] = char(machine >> 8);
    return h;
}

std::string peHeader(unsigned short machine, unsigned short magic, uint32_t at = 0x80,
                     uint32_t pointer = 0x80) {
    std::string h(at + 64, '\0');
    h[0] = 'M', h[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        h[0x3C + i] = char(pointer >> (8 * i));
    h[at] = 'P', h[at + 1] = 'E';
    h[at + 4] = char(machine & 0xFF), h[at + 5] = char(machine >> 8);
    h[at + 24] = char(magic & 0xFF), h[at + 25] = char(magic >> 8);
    return h;
}

TEST(ImageMachine, ReadsElfAndPeHeadersAndRejectsTheRest) {
    struct Case {
        std::string bytes;
        bool ok;
        int machine = 0, bits = 0;
    } cases[] = {
        {elfHeader(64, 62), true, 62, 64},
        {elfHeader(32, 3), true, 3, 32},
        {peHeader(0x8664, 0x20B), true, 0x8664, 64},
        {peHeader(0x14C, 0x10B), true, 0x14C, 32},
        {peHeader(0x14C, 0x999), false},                   // no optional header magic
        {peHeader(0x14C, 0x10B, 0x80, 0xFFFFFFF0), false}, // points far outside
        {peHeader(0x14C, 0x10B).substr(0, 0x90), false},
        {"MZ", false},
        {"x", false},
    };
    for (const Case& c : cases) {
        ImageMachine m;
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(parseImageMachine(data, int32_t(c.bytes.size()), m), c.ok);
        if (c.ok) {
            EXPECT_EQ(m.machine, c.machine);
            EXPECT_EQ(m.bits, c.bits);
        }
    }
}

// Runtime folders with release files and libraries of real headers: the
// program under test is the test program itself.
class Judge : public ::testing::Test {
  protected:
    std::string runtime(const std::string& name, const std::string& version,
                        const std::string& header) {
        std::string home = app.temp.dir() + name;
        if (!version.empty())
            place(home + "/release", "JAVA_VERSION=\"" + version + "\"\n");
        std::string library = home + "/lib/" + platform::runtimeLibraryName;
        place(library, header);
        return library;
    }
    // The first bytes of the test program: a library of the launcher's own machine.
    static std::string self() {
        ByteString path;
        platform::executablePath(path);
        return text(path);
    }
    static std::string own() { return readFile(self()).substr(0, 4096); }
    static std::string lines(const StringList& list) {
        std::string all;
        for (int32_t i = 0; i < list.count(); ++i)
            all += std::string(list.item(i)) + "\n";
        return all;
    }
    AppSetup app;
};

TEST_F(Judge, NewestWithinBoundsWinsAndEveryRejectionIsExplained) {
    LaunchConfig& config = app.reconfigure("minjre 11\nmaxjre 21");
    config.setExePath(ByteString(self().c_str()));
    std::string foreign = onWindows ? peHeader(0x1C4, 0x10B) : elfHeader(32, 40);
    std::string l8 = runtime("jdk8", "1.8.0_402", own()), l17 = runtime("a17", "17.0.2", own());
    std::string l21 = runtime("b21", "21", own()), l21b = runtime("c21", "21.0.1", own());
    std::string l25 = runtime("d25", "25", own()), arm = runtime("e21", "21.0.9", foreign);
    std::string unknown = runtime("nameless", "", "x"), named = runtime("jdk-24", "", "x");
    RuntimeSearch search(config);
    for (const std::string& l : {unknown, l8, l17, l21, arm, l21b, l25, named, l17})
        search.offer(l.c_str(), ByteString(l.c_str()), l == named ? "jdk-24" : nullptr);
    search.offer("gone", ByteString(""), nullptr);
    // 21 and 21.0.1 tie in the fields the shorter one has: the first stays.
    EXPECT_EQ(text(search.takeNewest()), l21);
    EXPECT_EQ(text(search.takeNewest()), "");
    std::string passed = lines(search.passedOver());
    EXPECT_NE(passed.find("  passed over " + l8 + ": Java 1.8.0_402 is below the required 11\n"),
              std::string::npos)
        << passed;
    EXPECT_NE(passed.find("  passed over " + l25 + ": Java 25 is above the allowed 21\n"),
              std::string::npos);
    EXPECT_NE(passed.find("  passed over " + named + ": Java 24 is above the allowed 21\n"),
              std::string::npos)
        << "a folder name stands in for a missing release file";
    EXPECT_NE(
        passed.find(arm + (onWindows ? ": a " : ": a 32-bit runtime cannot run in this 64-bit")),
        std::string::npos);
    EXPECT_EQ(search.passedOver().count(), 4) << "17 reached twice is judged once";

    // Only known versions rank: an unknown one is taken when nothing else is.
    RuntimeSearch alone(app.reconfigure("maxjre 9"));
    alone.offer("u", ByteString(unknown.c_str()), "x");
    EXPECT_EQ(text(alone.takeNewest()), unknown);
    for (int i = 0; i < 12; ++i) {
        std::string l = runtime("many" + std::to_string(i), "30", "x");
        EXPECT_FALSE(alone.judge(l.c_str(), ByteString(l.c_str()), nullptr));
    }
    EXPECT_EQ(alone.passedOver().count(), 10);
}

} // namespace
} // namespace tarn::test
