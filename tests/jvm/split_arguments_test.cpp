#include "jvm/java_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn {
namespace {

// Splits a writable copy of each text into one list, as runMainClass does with
// the argv entries, and returns the words.
std::vector<std::string> split(std::vector<std::string> texts) {
    Array<char*> words;
    for (std::string& text : texts) {
        int before = words.length();
        int total = splitArguments(words, text.data());
        EXPECT_EQ(total, words.length());
        EXPECT_GE(total, before);
    }
    std::vector<std::string> out;
    for (int i = 0; i < words.length(); ++i)
        out.push_back(words[i]);
    return out;
}

using Words = std::vector<std::string>;

TEST(SplitArguments, BlanksSeparateWordsOutsideQuotes) {
    EXPECT_EQ(split({"one two\tthree"}), (Words{"one", "two", "three"}));
    EXPECT_EQ(split({"  lead and trail \t "}), (Words{"lead", "and", "trail"}));
    EXPECT_EQ(split({"a    b"}), (Words{"a", "b"}));
    EXPECT_EQ(split({"", " \t ", "x"}), (Words{"x"}));
    // Words from several entries accumulate in one list, in order.
    EXPECT_EQ(split({"a b", "c"}), (Words{"a", "b", "c"}));
}

TEST(SplitArguments, QuotesKeepBlanksAndVanish) {
    EXPECT_EQ(split({"one \"two three\" four"}), (Words{"one", "two three", "four"}));
    EXPECT_EQ(split({"pre\"mid dle\"post"}), (Words{"premid dlepost"}));
    EXPECT_EQ(split({"\"\t tab\""}), (Words{"\t tab"}));
    // A quote left open runs to the end of the text.
    EXPECT_EQ(split({"\"open to the end"}), (Words{"open to the end"}));
}

TEST(SplitArguments, EmptyQuotesMakeEmptyWords) {
    EXPECT_EQ(split({"\"\""}), (Words{""}));
    EXPECT_EQ(split({"a \"\" b"}), (Words{"a", "", "b"}));
    EXPECT_EQ(split({"\"\" \"\""}), (Words{"", ""}));
    // A doubled quote inside quotes only switches the state twice.
    EXPECT_EQ(split({"\"a\"\"b c\""}), (Words{"ab c"}));
}

TEST(SplitArguments, BackslashRunsBeforeAQuote) {
    // One backslash: a literal quote that does not switch the state.
    EXPECT_EQ(split({"say\\\"hi there"}), (Words{"say\"hi", "there"}));
    // Two: one backslash, and the quote opens a quoted part.
    EXPECT_EQ(split({"a\\\\\"b c\""}), (Words{"a\\b c"}));
    // Three: one backslash and a literal quote.
    EXPECT_EQ(split({"a\\\\\\\"b c"}), (Words{"a\\\"b", "c"}));
    // Four: two backslashes, then the quote closes the quoted part.
    EXPECT_EQ(split({"\"x \\\\\\\\\" y"}), (Words{"x \\\\", "y"}));
    // Inside quotes an escaped quote stays inside.
    EXPECT_EQ(split({"\"he said \\\"no\\\"\""}), (Words{"he said \"no\""}));
}

TEST(SplitArguments, OtherBackslashesAreKept) {
    EXPECT_EQ(split({"c\\\\d"}), (Words{"c\\\\d"}));
    EXPECT_EQ(split({"C:\\dir\\file.txt \\\\server\\share\\"}),
              (Words{"C:\\dir\\file.txt", "\\\\server\\share\\"}));
    EXPECT_EQ(split({"\"a\\b c\\\\\""}), (Words{"a\\b c\\"}));
}

TEST(SplitArguments, WordsAreWrittenIntoTheText) {
    // The text is rewritten in place; every word is terminated within it.
    std::string text = "x \"y z\" w";
    Array<char*> words;
    EXPECT_EQ(splitArguments(words, text.data()), 3);
    EXPECT_STREQ(words[0], "x");
    EXPECT_STREQ(words[1], "y z");
    EXPECT_STREQ(words[2], "w");
    for (int i = 0; i < words.length(); ++i) {
        EXPECT_GE(words[i], text.data());
        EXPECT_LT(words[i], text.data() + text.size());
    }
}

} // namespace
} // namespace tarn
