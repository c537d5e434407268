// Windows command-line arguments, the ANSI code page and the UTF-8/UTF-16 conversions.
#include "platform/platform.h"

#include "platform/win32/text.h"

namespace tarn {
namespace platform {

// ---- Text at the system's boundary -------------------------------------------

// Declared by the C runtime's start-up code only: the wide twin of the call that
// fills main's argv, with the same splitting rules.
struct WideStartupInfo {
    int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand,
                                      WideStartupInfo* info);

char** commandArguments(int& argc, char** argv) {
    int count = 0;
    wchar_t** words = nullptr;
    wchar_t** environment = nullptr;
    WideStartupInfo info = {0};
    if (__wgetmainargs(&count, &words, &environment, 0, &info) < 0 || words == nullptr)
        return argv;
    // Lives as long as the process, as main's own vector does.
    char** out = static_cast<char**>(reallocOrDie(nullptr, size_t(count) + 1, sizeof(char*)));
    for (int i = 0; i < count; ++i)
        out[i] = fromWide(words[i]).detach();
    out[count] = nullptr;
    argc = count;
    return out;
}

// What a VM reads in its options is the ANSI code page; a character the page
// has no letter for must not silently become another one (no best fit).
bool toCodePage(const char* text, ByteString& out) {
    Wide wide(text);
    int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    BOOL lossy = FALSE;
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out.data(), n, nullptr, &lossy);
    return n > 0 && !lossy;
}

bool shortPathName(const char* path, ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(Wide(path), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

} // namespace platform

// The launcher's own text is UTF-8 here (see text.h): these two carry it
// to and from UTF-16 without any code page. Bytes that are not UTF-8 become
// U+FFFD.
WideString ansiToWide(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    WideString out;
    out.resize(n);
    int units = n == 0 ? 0
                       : MultiByteToWideChar(CP_UTF8, 0, text, n,
                                             reinterpret_cast<wchar_t*>(out.data()), n);
    out.resize(units > 0 ? units : 0);
    out.resize(countToZero(out.cStr()));
    return out;
}

ByteString wideToAnsi(const char16_t* units, int32_t n) {
    if (n < 0)
        n = countToZero(units);
    ByteString out;
    out.resize(3 * n);
    int bytes = n == 0 ? 0
                       : WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(units), n,
                                             out.data(), 3 * n, nullptr, nullptr);
    out.resize(bytes > 0 ? bytes : 0);
    out.resize(countToZero(out.cStr()));
    return out;
}

// Text saved in the ANSI code page: a configuration without a mark that is not
// UTF-8. A byte sequence the code page does not define becomes U+FFFD; nothing
// is cut.
WideString codePageToWide(const char* text, int32_t n) {
    int32_t length = 0;
    while ((n < 0 || length < n) && text[length] != 0)
        ++length;
    WideString out;
    out.resize(length);
    int converted = length > 0 ? MultiByteToWideChar(CP_ACP, 0, text, length,
                                                     reinterpret_cast<wchar_t*>(out.data()), length)
                               : 0;
    out.resize(converted > 0 ? converted : 0);
    return out;
}
} // namespace tarn
