// The four text conversions. ANSI means the C library's multibyte charset in the
// locale set at start-up: the ANSI code page on Windows, the locale's charset on
// Linux. A source count of -1 means up to the first zero.
#pragma once

#include "base/string.h"

namespace tarn {

WideString ansiToWide(const char* text, int32_t n = -1);      // platform layer
ByteString wideToAnsi(const char16_t* units, int32_t n = -1); // platform layer
ByteString wideToUtf8(const char16_t* units, int32_t n = -1);
WideString utf8ToWide(const char* text, int32_t n = -1);

inline ByteString utf8ToAnsi(const char* text, int32_t n = -1) {
    WideString wide = utf8ToWide(text, n);
    return wideToAnsi(wide.cStr(), wide.length());
}
inline ByteString ansiToUtf8(const char* text, int32_t n = -1) {
    WideString wide = ansiToWide(text, n);
    return wideToUtf8(wide.cStr(), wide.length());
}

} // namespace tarn
