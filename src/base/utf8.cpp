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
        if ((b & 0xF8) == 0xF0 && i + 4 <= n && isContinuation(s[i + 1]) &&
            isContinuation(s[i + 2]) && isContinuation(s[i + 3])) {
            unsigned c = (b & 0x07u) << 18 | (s[i + 1] & 0x3Fu) << 12 | (s[i + 2] & 0x3Fu) << 6 |
                         (s[i + 3] & 0x3Fu);
            i += 4;
            if (c < 0x10000 || c > 0x10FFFF) {
                *w++ = '?';
                continue;
            }
            c -= 0x10000;
            *w++ = char16_t(0xD800 | (c >> 10));
            *w++ = char16_t(0xDC00 | (c & 0x3FF));
            continue;
        }
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

bool isValidUtf8(const char* text, int32_t n) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    int32_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        int32_t extra = b < 0x80             ? 0
                        : (b & 0xE0) == 0xC0 ? 1
                        : (b & 0xF0) == 0xE0 ? 2
                        : (b & 0xF8) == 0xF0 ? 3
                                             : -1;
        if (extra < 0 || i + extra >= n + (extra == 0 ? 1 : 0))
            return false;
        unsigned c = extra == 0 ? b : b & (0x3F >> extra);
        for (int32_t k = 1; k <= extra; ++k) {
            if (!isContinuation(s[i + k]))
                return false;
            c = c << 6 | (s[i + k] & 0x3Fu);
        }
        static const unsigned lowest[] = {0, 0x80, 0x800, 0x10000};
        if (c < lowest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace tarn
