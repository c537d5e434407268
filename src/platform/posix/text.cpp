// Linux command-line arguments and the conversions between launcher text and UTF-16.
#include "platform/platform.h"

#include "base/convert.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace tarn {
namespace platform {

char** commandArguments(int&, char** argv) {
    return argv; // bytes as the system passed them
}

bool toCodePage(const char* text, ByteString& out) {
    out = ByteString(text);
    return true;
}

bool shortPathName(const char*, ByteString&) {
    return false;
}

} // namespace platform

WideString codePageToWide(const char* text, int32_t n) {
    return ansiToWide(text, n);
}

// The locale's multibyte charset stands in for the ANSI code page; wchar_t is
// 32-bit here, so characters above U+FFFF become surrogate pairs. A byte the
// charset cannot decode (any byte above 0x7F in the C locale) becomes U+FFFD and
// decoding goes on, so nothing after it is lost.
WideString ansiToWide(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    WideString out;
    out.resize(2 * n);
    char16_t* w = out.data();
    mbstate_t state;
    memset(&state, 0, sizeof state);
    int32_t i = 0;
    while (i < n && text[i] != 0) {
        wchar_t wc;
        size_t used = mbrtowc(&wc, text + i, size_t(n - i), &state);
        if (used == 0)
            break;
        unsigned long c = (unsigned long)wc;
        if (used == (size_t)-1 || used == (size_t)-2) {
            memset(&state, 0, sizeof state);
            used = used == (size_t)-2 ? size_t(n - i) : 1; // a cut sequence at the end
            c = 0xFFFD;
        }
        i += int32_t(used);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            *w++ = char16_t(0xD800 | (c >> 10));
            *w++ = char16_t(0xDC00 | (c & 0x3FF));
        } else {
            *w++ = char16_t(c < 0x10000 ? c : 0xFFFD);
        }
    }
    out.resize(int32_t(w - out.data()));
    return out;
}

ByteString wideToAnsi(const char16_t* units, int32_t n) {
    if (n < 0)
        n = countToZero(units);
    ByteString out;
    out.resize(4 * n + int32_t(MB_CUR_MAX));
    char* p = out.data();
    mbstate_t state;
    memset(&state, 0, sizeof state);
    for (int32_t i = 0; i < n && units[i] != 0; ++i) {
        unsigned long c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        size_t used = wcrtomb(p, wchar_t(c), &state);
        if (used == (size_t)-1) {
            // A character the charset cannot hold is marked, not the end of the text.
            memset(&state, 0, sizeof state);
            *p++ = '?';
            continue;
        }
        p += used;
    }
    out.resize(int32_t(p - out.data()));
    return out;
}
} // namespace tarn
