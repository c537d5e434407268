#include "base/string.h"
#include "base/string_list.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(Array, GrowthRuleFromTheSmallestToDoublingAndBeyond) {
    EXPECT_EQ(growCapacity(0, 1), 8);
    EXPECT_EQ(growCapacity(8, 9), 16);
    EXPECT_EQ(growCapacity(16, 40), 48); // needed + 11 rounded down to 8
    EXPECT_EQ(growCapacity(0, 20), 24);
    EXPECT_EQ(growCapacity(0, 21), 32);
    EXPECT_EQ(growCapacity(32, 33), 64);
    EXPECT_EQ(growCapacity(64, 10), 64); // never shrinks

    ByteBuffer bytes;
    bytes.resize(1);
    EXPECT_EQ(bytes.capacity(), 8);
    ByteString text;
    text.resize(8); // the terminator needs a ninth element
    EXPECT_EQ(text.capacity(), 16);
    EXPECT_EQ(text.data()[8], '\0');
    ByteString twenty;
    twenty.resize(20);
    EXPECT_EQ(twenty.capacity(), 32);
}

TEST(Array, EmptyArraysOwnNothingButAnEmptyStringOwnsItsTerminator) {
    ByteBuffer bytes;
    IntArray ints;
    EXPECT_EQ(bytes.data(), nullptr);
    EXPECT_EQ(ints.capacity(), 0);
    ByteString fromNull(nullptr, -1);
    EXPECT_EQ(fromNull.length(), 0);
    EXPECT_EQ(fromNull.capacity(), 8);
    EXPECT_STREQ(fromNull.cStr(), "");
}

TEST(Array, InsertAppendDetachAdoptAndSelfAppend) {
    ByteString s("held");
    *s.insertGap(0, 2) = '<';
    s.data()[1] = '<';
    EXPECT_STREQ(s.cStr(), "<<held");
    s.append(s.data(), s.length()); // the source lives in the block being grown
    EXPECT_STREQ(s.cStr(), "<<held<<held");

    int32_t length = s.length();
    char* block = s.detach();
    EXPECT_EQ(s.data(), nullptr);
    EXPECT_EQ(s.capacity(), 0);
    ByteString other;
    other.adopt(block, length);
    EXPECT_STREQ(other.cStr(), "<<held<<held");

    IntArray values;
    for (int32_t i = 0; i < 100; ++i)
        values.appendOne(i);
    EXPECT_EQ(values.length(), 100);
    EXPECT_EQ(values[99], 99);
    values.reset();
    EXPECT_EQ(values.data(), nullptr);
}

TEST(ByteString, ComparesAsSignedBytes) {
    EXPECT_LT(ByteString("abc").compare("abd"), 0);
    EXPECT_EQ(ByteString("abc").compare("ab"), 'c');
    EXPECT_EQ(ByteString("").compare(""), 0);
    EXPECT_LT(ByteString("\xE9").compare("a"), 0);
    EXPECT_EQ(ByteString("JAVA").compareNoCase(StringView("java")), 0);
    EXPECT_EQ(ByteString("Ja").compareNoCase(StringView("jb")), 'a' - 'b');
}

TEST(ByteString, Substrings) {
    ByteString abc("abc");
    EXPECT_STREQ(abc.left(10).cStr(), "abc");
    EXPECT_STREQ(abc.mid(5).cStr(), "");
    EXPECT_STREQ(abc.mid(1, 10).cStr(), "bc");
    EXPECT_STREQ(abc.right(2).cStr(), "bc");
    EXPECT_STREQ(ByteString::concat("x:", abc).cStr(), "x:abc");
    EXPECT_TRUE(charInSet("/\\", '/'));
    EXPECT_FALSE(charInSet("/\\", '\0'));
}

TEST(StringList, KeepsItemsInOneZeroSeparatedBuffer) {
    StringList list;
    list.add("a");
    list.add("");
    list.add("bc");
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(std::string(list.chars().data(), size_t(list.chars().length())),
              std::string("a\0\0bc\0", 6));
    EXPECT_EQ(list[0], 0);
    EXPECT_EQ(list[1], 2);
    EXPECT_EQ(list[2], 3);
    EXPECT_STREQ(list.item(2), "bc");
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

} // namespace
} // namespace tarn
