// How the windowless launcher (tarnw.exe, GUI subsystem) shows a failure: in a
// message box titled with the program's name, and on stderr as well when one
// exists (set by the `stderr` key, or inherited from a parent that redirected it).
// A GUI process usually has no standard handles at all; nothing here may then
// write to them.
#include "platform/platform.h"

#include <windows.h>

namespace tarn {
namespace platform {

// Straight to the handle: in a process started without standard handles the C
// runtime's stderr has no descriptor to follow a redirection, the handle does.
static void writeStandardError(const char* text) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        GetFileType(handle) == FILE_TYPE_UNKNOWN)
        return;
    ByteString line;
    toCodePage(text, line);
    DWORD written = 0;
    WriteFile(handle, line.cStr(), DWORD(line.length()), &written, nullptr);
    WriteFile(handle, "\r\n", 2, &written, nullptr);
}

// The program's file name without its directory and without ".exe".
static void programTitle(wchar_t* title, DWORD size) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        lstrcpynW(title, L"tarn", int(size));
        return;
    }
    const wchar_t* name = path;
    for (DWORD i = 0; i < n; ++i)
        if (path[i] == L'\\' || path[i] == L'/')
            name = path + i + 1;
    int length = lstrlenW(name);
    if (length > 4 && lstrcmpiW(name + length - 4, L".exe") == 0)
        length -= 4;
    lstrcpynW(title, name, length + 1 < int(size) ? length + 1 : int(size));
}

void reportError(const char* text) {
    fflush(stderr);
    writeStandardError(text);
    wchar_t title[MAX_PATH];
    programTitle(title, MAX_PATH);
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return;
    wchar_t* wide = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, size_t(units) * 2));
    if (wide == nullptr)
        return;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units);
    MessageBoxW(nullptr, wide, title, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    HeapFree(GetProcessHeap(), 0, wide);
}

} // namespace platform
} // namespace tarn
