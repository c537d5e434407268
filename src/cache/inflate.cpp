// A small DEFLATE decoder. Codes of up to fastBits bits are decoded with one
// table lookup, longer ones bit by bit from the canonical counts; that keeps
// the tables a few KiB while a runtime of 50 MB still decodes in well under a
// second.
#include "cache/inflate.h"

#include <string.h>

namespace tarn {

namespace {

const int maxBits = 15;
const int fastBits = 9;
const int maxLiteralCodes = 288;
const int maxDistanceCodes = 30;

struct Huffman {
    uint16_t counts[maxBits + 1];
    uint16_t symbols[maxLiteralCodes];
    // (length << 9) | symbol for codes of up to fastBits bits, 0 for longer ones.
    uint16_t fast[1 << fastBits];
};

const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t distanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which the code length code lengths are sent.
const uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

// Canonical code from the lengths of n symbols. Incomplete codes are allowed
// (a lone distance code is legal); over-subscribed ones are not.
bool buildHuffman(Huffman& h, const uint8_t* lengths, int n) {
    memset(&h, 0, sizeof h);
    for (int s = 0; s < n; ++s)
        h.counts[lengths[s]]++;
    h.counts[0] = 0;
    int left = 1;
    for (int len = 1; len <= maxBits; ++len) {
        left = (left << 1) - h.counts[len];
        if (left < 0)
            return false;
    }
    uint16_t offsets[maxBits + 2];
    uint16_t next[maxBits + 1];
    offsets[1] = 0;
    int code = 0;
    for (int len = 1; len <= maxBits; ++len) {
        offsets[len + 1] = uint16_t(offsets[len] + h.counts[len]);
        code = (code + h.counts[len - 1]) << 1;
        next[len] = uint16_t(code);
    }
    for (int s = 0; s < n; ++s) {
        int len = lengths[s];
        if (len == 0)
            continue;
        h.symbols[offsets[len]++] = uint16_t(s);
        int c = next[len]++;
        if (len > fastBits)
            continue;
        // Bits arrive least significant first, codes most significant first.
        int reversed = 0;
        for (int i = 0; i < len; ++i)
            reversed |= ((c >> i) & 1) << (len - 1 - i);
        for (int k = reversed; k < (1 << fastBits); k += 1 << len)
            h.fast[k] = uint16_t(len << 9 | s);
    }
    return true;
}

class Decoder {
  public:
    Decoder(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize)
        : in_(in), inSize_(inSize), out_(out), outSize_(outSize) {}

    bool run() {
        int last = 0;
        do {
            last = int(bits(1));
            int type = int(bits(2));
            bool ok = type == 0 ? stored() : type == 1 ? fixed() : type == 2 ? dynamic() : false;
            if (!ok || overrun())
                return false;
        } while (!last);
        return outPos_ == outSize_;
    }

  private:
    // Past the end of the input the buffer fills with zeros; overrun() then
    // tells whether any of them were consumed.
    void refill(int n) {
        while (bitCount_ < n) {
            uint64_t byte = inPos_ < inSize_ ? in_[inPos_] : 0;
            ++inPos_;
            bitBuffer_ |= byte << bitCount_;
            bitCount_ += 8;
        }
    }
    uint32_t bits(int n) {
        if (n == 0)
            return 0;
        refill(n);
        uint32_t value = uint32_t(bitBuffer_ & ((uint64_t(1) << n) - 1));
        bitBuffer_ >>= n;
        bitCount_ -= n;
        return value;
    }
    bool overrun() const { return inPos_ > inSize_ + size_t(bitCount_ / 8); }

    int decode(const Huffman& h) {
        refill(maxBits);
        uint16_t entry = h.fast[bitBuffer_ & ((1 << fastBits) - 1)];
        if (entry != 0) {
            bits(entry >> 9);
            return entry & 511;
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= maxBits; ++len) {
            code |= int(bits(1));
            int count = h.counts[len];
            if (code - count < first)
                return h.symbols[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    bool stored() {
        bits(bitCount_ % 8);
        uint32_t length = bits(16);
        if ((~bits(16) & 0xFFFF) != length)
            return false;
        // Whole bytes may still sit in the bit buffer.
        while (length > 0 && bitCount_ >= 8) {
            if (outPos_ >= outSize_)
                return false;
            out_[outPos_++] = (unsigned char)bits(8);
            --length;
        }
        if (length > outSize_ - outPos_ || inPos_ > inSize_ || length > inSize_ - inPos_)
            return false;
        memcpy(out_ + outPos_, in_ + inPos_, length);
        outPos_ += length;
        inPos_ += length;
        return true;
    }

    bool fixed() {
        static Huffman literals, distances;
        static bool built = false;
        if (!built) {
            uint8_t lengths[maxLiteralCodes];
            for (int s = 0; s < maxLiteralCodes; ++s)
                lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            buildHuffman(literals, lengths, maxLiteralCodes);
            for (int s = 0; s < maxDistanceCodes; ++s)
                lengths[s] = 5;
            buildHuffman(distances, lengths, maxDistanceCodes);
            built = true;
        }
        return codes(literals, distances);
    }

    bool dynamic() {
        int literalCount = int(bits(5)) + 257;
        int distanceCount = int(bits(5)) + 1;
        int lengthCount = int(bits(4)) + 4;
        if (literalCount > 286 || distanceCount > maxDistanceCodes)
            return false;
        uint8_t lengths[maxLiteralCodes + maxDistanceCodes];
        memset(lengths, 0, sizeof lengths);
        for (int i = 0; i < lengthCount; ++i)
            lengths[codeLengthOrder[i]] = uint8_t(bits(3));
        Huffman& lengthCode = literals_;
        if (!buildHuffman(lengthCode, lengths, 19))
            return false;
        int total = literalCount + distanceCount;
        for (int i = 0; i < total;) {
            int symbol = decode(lengthCode);
            if (symbol < 0 || overrun())
                return false;
            if (symbol < 16) {
                lengths[i++] = uint8_t(symbol);
                continue;
            }
            int repeat = 0;
            uint8_t value = 0;
            if (symbol == 16) {
                if (i == 0)
                    return false;
                value = lengths[i - 1];
                repeat = 3 + int(bits(2));
            } else if (symbol == 17) {
                repeat = 3 + int(bits(3));
            } else {
                repeat = 11 + int(bits(7));
            }
            if (i + repeat > total)
                return false;
            while (repeat-- > 0)
                lengths[i++] = value;
        }
        // Without an end-of-block code the block could never end.
        if (lengths[256] == 0)
            return false;
        if (!buildHuffman(literals_, lengths, literalCount) ||
            !buildHuffman(distances_, lengths + literalCount, distanceCount))
            return false;
        return codes(literals_, distances_);
    }

    bool codes(const Huffman& literals, const Huffman& distances) {
        for (;;) {
            int symbol = decode(literals);
            if (symbol < 0 || overrun())
                return false;
            if (symbol < 256) {
                if (outPos_ >= outSize_)
                    return false;
                out_[outPos_++] = (unsigned char)symbol;
                continue;
            }
            if (symbol == 256)
                return true;
            symbol -= 257;
            if (symbol >= 29)
                return false;
            size_t length = lengthBase[symbol] + bits(lengthExtra[symbol]);
            int d = decode(distances);
            if (d < 0 || d >= maxDistanceCodes)
                return false;
            size_t distance = distanceBase[d] + bits(distanceExtra[d]);
            if (distance > outPos_ || length > outSize_ - outPos_)
                return false;
            // Byte by byte: source and destination overlap for short distances.
            unsigned char* to = out_ + outPos_;
            const unsigned char* from = to - distance;
            for (size_t i = 0; i < length; ++i)
                to[i] = from[i];
            outPos_ += length;
        }
    }

    const unsigned char* in_;
    size_t inSize_;
    size_t inPos_ = 0;
    unsigned char* out_;
    size_t outSize_;
    size_t outPos_ = 0;
    uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
    Huffman literals_;
    Huffman distances_;
};

uint32_t crcTable[256];
bool crcTableBuilt = false;

} // namespace

bool inflateRaw(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize) {
    Decoder decoder(in, inSize, out, outSize);
    return decoder.run();
}

uint32_t crc32Update(uint32_t crc, const unsigned char* data, size_t size) {
    if (!crcTableBuilt) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            crcTable[n] = c;
        }
        crcTableBuilt = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace tarn
