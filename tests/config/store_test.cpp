#include "config/launch_config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace tarn {
namespace {

std::string value(const LaunchConfig& c, const char* key, bool embeddedOnly = false,
                  bool toAnsi = false) {
    ByteString v = c.lookup(key, embeddedOnly, toAnsi);
    return std::string(v.data() ? v.data() : "", size_t(v.length()));
}

void collect(void* context, const char* value) {
    static_cast<std::vector<std::string>*>(context)->push_back(value);
}

TEST(Store, SeparatorsBetweenKeyAndValue) {
    LaunchConfig c(false);
    c.append("a=value\r\nb = value\nc value\rd\tvalue\r\n  e  =  spaced  \n");
    EXPECT_EQ(value(c, "a"), "value");
    EXPECT_EQ(value(c, "b"), "value");
    EXPECT_EQ(value(c, "c"), "value");
    EXPECT_EQ(value(c, "d"), "\tvalue"); // a tab is not a separator: it starts the value
    EXPECT_EQ(value(c, "e"), "spaced  ");
}

TEST(Store, KeysMatchWholeWordsIgnoringCase) {
    LaunchConfig c(false);
    c.append("MAINCLASS a.B\njre_order be\nvmx 1\njre.x\n# mainclass comment\n");
    EXPECT_EQ(value(c, "mainclass"), "a.B");
    EXPECT_EQ(value(c, "jre"), ".x"); // '_' after jre: not jre_order
    EXPECT_EQ(value(c, "vm"), "");
    EXPECT_EQ(value(c, "jre_order"), "be");
    EXPECT_EQ(value(c, "missing"), "");
}

TEST(Store, LineEndingsAndEmptyLines) {
    LaunchConfig c(false);
    c.append("a 1\r\n\r\nb 2\n\rc 3\rd 4\ne 5");
    EXPECT_EQ(value(c, "a"), "1");
    EXPECT_EQ(value(c, "b"), "2");
    EXPECT_EQ(value(c, "c"), "3");
    EXPECT_EQ(value(c, "d"), "4");
    EXPECT_EQ(value(c, "e"), "5");
}

TEST(Store, FirstLineWinsAndMultiValuedKeysKeepTextOrder) {
    LaunchConfig c(false);
    c.append("minjre\r\nminjre 1.6\r\noption -Xmx1g\r\noption -Da=b\r\nOPTION -Dc\r\n");
    EXPECT_EQ(value(c, "minjre"), ""); // an empty first value still wins
    std::vector<std::string> options;
    c.findValue("option", collect, &options, false, true);
    EXPECT_EQ(options, (std::vector<std::string>{"-Xmx1g", "-Da=b", "-Dc"}));
}

TEST(Store, ToAnsiConvertsOnlyNonAsciiValues) {
    LaunchConfig c(false);
    c.append("name caf\xC3\xA9\nplain abc\n");
    EXPECT_EQ(value(c, "name"), "caf\xC3\xA9"); // UTF-8 as stored
    EXPECT_EQ(value(c, "plain", false, true), "abc");
    if (!setlocale(LC_ALL, "C.UTF-8") && !setlocale(LC_ALL, ".1252"))
        GTEST_SKIP() << "no locale with an e-acute";
    ByteString ansi = c.lookup("name", false, true);
    // The launcher's own text: UTF-8 on Windows too, the locale's charset here.
    EXPECT_EQ(std::string(ansi.data(), size_t(ansi.length())), "caf\xC3\xA9");
    setlocale(LC_ALL, "C");
}

} // namespace
} // namespace tarn
