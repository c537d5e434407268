// The text conversions. ANSI means the launcher's own narrow text: UTF-8 on
// Windows (the platform layer speaks UTF-16 to the system), the charset of the
// locale set at start-up on Linux. A source count of -1 means up to the first zero.
#pragma once

#include "base/string.h"

namespace tarn {

WideString ansiToWide(const char* text, int32_t n = -1);      // platform layer
ByteString wideToAnsi(const char16_t* units, int32_t n = -1); // platform layer
// Text saved in the system's legacy charset: the ANSI code page on Windows, the
// locale's charset on Linux (there the same as ansiToWide).
WideString codePageToWide(const char* text, int32_t n = -1); // platform layer
// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(const char* text, int32_t n);
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
