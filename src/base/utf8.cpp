// UTF-8 <-> UTF-16. Encoding works one 16-bit unit at a time (a surrogate pair
// becomes two 3-byte sequences), so the pair round-trips through the
// configuration store unchanged. Decoding also takes the 4-byte sequences that a
// UTF-8 file holds for characters above U+FFFF, as surrogate pairs.
#include "base/convert.h"

namespace tarn {

ByteString wideToUtf8(const char16_t* units, int32_t n) {
    if (n < 0)
        n = countToZero(units);
    ByteString out;
    out.resize(3 * n);
    char* p = out.data();
    for (int32_t i = 0; i < n && units[i] != 0; ++i) {
        unsigned u = units[i];
        if (u < 0x80) {
            *p++ = char(u);
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    out.resize(int32_t(p - out.data()));
    return out;
}

static bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

WideString utf8ToWide(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    WideString out;
    out.resize(n);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    char16_t* w = out.data();
    int32_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            *w++ = b;
            ++i;
            continue;
        }
        unsigned unit;
        if ((b & 0xF0) == 0xE0) {
            if (i + 3 > n)
                break;
            unit = b & 0x0F;
            ++i;
            if (isContinuation(s[i])) {
                unit = (unit << 6) | (s[i] & 0x3F);
                ++i;
            }
        } else if ((b & 0xE0) == 0xC0) {
            if (i + 2 > n)
                break;
            unit = b & 0x1F;
            ++i;
        } else if ((b & 0xF8) == 0xF0 && i + 4 <= n && isContinuation(s[i + 1]) &&
                   isContinuation(s[i + 2]) && isContinuation(s[i + 3])) {
            unsigned long point = (unsigned long)(b & 0x07) << 18 |
                                  (unsigned long)(s[i + 1] & 0x3F) << 12 |
                                  (unsigned long)(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
            i += 4;
            if (point < 0x10000 || point > 0x10FFFF) {
                *w++ = '?';
                continue;
            }
            point -= 0x10000;
            *w++ = char16_t(0xD800 | (point >> 10));
            *w++ = char16_t(0xDC00 | (point & 0x3FF));
            continue;
        } else {
            *w++ = '?';
            ++i;
            continue;
        }
        if (i < n && isContinuation(s[i])) {
            *w++ = char16_t((unit << 6) | (s[i] & 0x3F));
            ++i;
        } else {
            *w++ = '?';
        }
    }
    *w = 0;
    out.resize(countToZero(out.data()));
    return out;
}

} // namespace tarn
