// How the console launcher (tarn.exe) shows a failure: one line on stderr.
// The windowless launcher links win32/window.cpp instead.
#include "platform/platform.h"
#include "platform/win32/text.h"

namespace tarn {
namespace platform {

void reportError(const char* text) {
    // A console shows every character; a file or pipe gets the ANSI code page,
    // as it always has.
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        fflush(stderr);
        Wide line(text);
        DWORD written = 0;
        WriteConsoleW(handle, line, DWORD(lstrlenW(line)), &written, nullptr);
        WriteConsoleW(handle, L"\r\n", 2, &written, nullptr);
        return;
    }
    ByteString line;
    toCodePage(text, line);
    fprintf(stderr, "%s\n", line.cStr());
}

} // namespace platform
} // namespace tarn
