#include "base/convert.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace tarn {
namespace {

std::string bytes(const ByteString& s) {
    return std::string(s.data(), size_t(s.length()));
}
std::u16string units(const WideString& w) {
    return std::u16string(w.data(), size_t(w.length()));
}

TEST(Utf8, EncodesEachUnitAlone) {
    EXPECT_EQ(bytes(wideToUtf8(u"\u00E9")), "\xC3\xA9");
    EXPECT_EQ(bytes(wideToUtf8(u"\u20AC")), "\xE2\x82\xAC");
    EXPECT_EQ(bytes(wideToUtf8(u"\u07FF")), "\xDF\xBF");
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(bytes(wideToUtf8(pair)), "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(bytes(wideToUtf8(u"")), "");
}

TEST(Utf8, DecodesAndMarksWhatItCannot) {
    // Four-byte sequences become surrogate pairs; a broken or overlong one is marked.
    EXPECT_EQ(units(utf8ToWide("\xF0\x9F\x98\x80")), std::u16string({0xD83D, 0xDE00}));
    EXPECT_EQ(units(utf8ToWide("\xF0\x9F\x98!")), u"?"
                                                  u"??"
                                                  u"!");
    EXPECT_EQ(units(utf8ToWide("\xF0\x80\x80\x80")), u"?");
    EXPECT_EQ(units(utf8ToWide("\xE2\x82\x41")), u"?A");
    EXPECT_EQ(units(utf8ToWide("x\xC3")), u"x"); // a lone lead byte at the end is dropped
    EXPECT_EQ(units(utf8ToWide("\xC3\xA9")), u"\u00E9");
    EXPECT_EQ(units(utf8ToWide("a\xC0\x80z")), u"a"); // a decoded zero ends the text
    // A surrogate pair encoded unit by unit comes back whole.
    EXPECT_EQ(units(utf8ToWide("\xED\xA0\xBD\xED\xB8\x80")), std::u16string({0xD83D, 0xDE00}));
}

TEST(Utf8, ValidatesStrictly) {
    EXPECT_TRUE(isValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", 17));
    EXPECT_TRUE(isValidUtf8("", 0));
    for (const char* bad : {"caf\xE9", "\xC3", "\xC0\xAF", "\xED\xA0\xBD", "\xF4\x90\x80\x80",
                            "\xE2\x82", "\x80", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(isValidUtf8(bad, int32_t(strlen(bad)))) << bad;
}

TEST(Ansi, RoundTripsThroughTheLocaleCharset) {
    EXPECT_EQ(units(ansiToWide("plain")), u"plain");
    EXPECT_EQ(bytes(wideToAnsi(u"plain")), "plain");
    EXPECT_EQ(units(ansiToWide("ab\0cd", 5)), u"ab"); // stops at the first NUL
    if (!test::onWindows) {
        // The C locale decodes only ASCII: other bytes are marked, nothing is cut.
        EXPECT_EQ(units(ansiToWide("caf\xC3\xA9.txt")), u"caf\uFFFD\uFFFD.txt");
        EXPECT_EQ(bytes(wideToAnsi(u"caf\u00E9.txt")), "caf?.txt");
    }
    if (!setlocale(LC_ALL, "C.UTF-8"))
        GTEST_SKIP() << "no UTF-8 locale";
    EXPECT_EQ(units(ansiToWide("\xC3\xA9\xF0\x9F\x98\x80")),
              std::u16string({0x00E9, 0xD83D, 0xDE00}));
    const char16_t pair[] = {0x00E9, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(bytes(wideToAnsi(pair)), "\xC3\xA9\xF0\x9F\x98\x80");
    setlocale(LC_ALL, "C");
}

} // namespace
} // namespace tarn
