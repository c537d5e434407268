// The digest that names an embedded runtime's cache folder: FIPS 180-4 vectors,
// fed whole and in uneven pieces.
#include "sha256.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sha256, MatchesTheStandardVectorsInAnyPieces) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000, 'a'),
         "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"}};
    for (const auto& [text, digest] : vectors) {
        tarnpack::Sha256 whole;
        whole.update(text.data(), text.size());
        EXPECT_EQ(whole.hexDigest(), digest);
        tarnpack::Sha256 pieces;
        for (size_t at = 0, n = 1; at < text.size(); at += n, n = n * 2 + 1)
            pieces.update(text.data() + at, std::min(n, text.size() - at));
        EXPECT_EQ(pieces.hexDigest(), digest);
    }
}
