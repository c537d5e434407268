// The launcher's DEFLATE decoder must read everything zlib writes and turn
// every damaged stream into a failure, never a read outside its input.
#include "cache/inflate.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace tarn {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes deflateRaw(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -15, 9, strategy);
    Bytes out(deflateBound(&s, data.size()) + 64);
    s.next_in = const_cast<unsigned char*>(data.data());
    s.avail_in = uInt(data.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// Text-like, random and long-run data: dynamic, fixed and stored blocks, long
// and short distances.
std::vector<Bytes> samples() {
    std::mt19937 random(13);
    Bytes text, noise(70000), runs(300000, 'x');
    while (text.size() < 200000) {
        std::string word = "runtime" + std::to_string(random() % 500) + (random() % 7 ? " " : "\n");
        text.insert(text.end(), word.begin(), word.end());
    }
    for (unsigned char& b : noise)
        b = (unsigned char)random();
    return {Bytes(), Bytes{'a'}, text, noise, runs};
}

TEST(Inflate, ReadsWhatZlibWritesAndChecksItsCrc) {
    for (const Bytes& data : samples()) {
        for (int level : {0, 1, 6, 9}) {
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
                Bytes packed = deflateRaw(data, level, strategy);
                Bytes out(data.size() + 1);
                ASSERT_TRUE(inflateRaw(packed.data(), packed.size(), out.data(), data.size()))
                    << data.size() << " bytes, level " << level << ", strategy " << strategy;
                out.resize(data.size());
                EXPECT_EQ(out, data);
                EXPECT_EQ(crc32Update(0, out.data(), out.size()),
                          uint32_t(crc32(0, data.data(), uInt(data.size()))));
                // The expected size is part of the check.
                EXPECT_FALSE(inflateRaw(packed.data(), packed.size(), out.data(), data.size() + 1));
            }
        }
    }
}

TEST(Inflate, RejectsDamagedStreamsWithoutReadingPastThem) {
    Bytes text = samples()[2];
    text.resize(20000);
    Bytes packed = deflateRaw(text, 9);
    Bytes out(text.size());
    // A copy of exactly the prefix length: a sanitizer or guard page would see a stray read.
    for (size_t n = 0; n < packed.size(); n += 1 + n / 50) {
        Bytes prefix(packed.begin(), packed.begin() + long(n));
        EXPECT_FALSE(inflateRaw(prefix.data(), prefix.size(), out.data(), out.size())) << n;
    }
    // Damage that still decodes must show in the CRC-32 the launcher checks.
    std::mt19937 random(7);
    int unnoticed = 0;
    uint32_t crc = crc32Update(0, text.data(), text.size());
    for (int i = 0; i < 2000; ++i) {
        Bytes damaged = packed;
        damaged[random() % damaged.size()] ^= (unsigned char)(1 + random() % 255);
        if (inflateRaw(damaged.data(), damaged.size(), out.data(), out.size()))
            unnoticed += out != text && crc32Update(0, out.data(), out.size()) == crc;
    }
    EXPECT_EQ(unnoticed, 0);
}

} // namespace
} // namespace tarn
