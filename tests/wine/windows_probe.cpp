// Asks Windows itself about a wrapped program; run under Wine by tests/wine.
//   windows_probe resources EXE   version information (GetFileVersionInfoW) and
//                                 the icon (LoadIconW, LoadImageW) as Explorer reads
//                                 them, and whether the PE checksum is right
//   windows_probe detached EXE    starts EXE without standard handles, as Explorer
//                                 starts a windowless program, and prints its exit code
#include <windows.h>

#include <imagehlp.h>

#include <stdio.h>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

// Size and top-left pixel (0xAARRGGBB) of an icon.
void printIcon(const char* label, HICON icon) {
    ICONINFO info;
    BITMAP bitmap;
    if (icon == nullptr || !GetIconInfo(icon, &info) ||
        !GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
        printf("%s=none (error %lu)\n", label, GetLastError());
        return;
    }
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight; // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(size_t(bitmap.bmWidth) * bitmap.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    printf("%s=%ldx%ld pixel=%08lx\n", label, bitmap.bmWidth, bitmap.bmHeight,
           pixels.empty() ? 0ul : pixels[0]);
}

int resources(const wchar_t* path) {
    DWORD stored = 0, computed = 0;
    if (MapFileAndCheckSumW(path, &stored, &computed) == CHECKSUM_SUCCESS)
        printf("checksum=%s\n", stored == computed ? "right" : "wrong");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<BYTE> data(size ? size : 1);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
        printf("version=none (error %lu)\n", GetLastError());
    } else {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))
            printf("fixed=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
                   fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                   fixed->dwFileVersionLS & 0xFFFF);
        WORD* translation = nullptr;
        if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length) &&
            length >= 4) {
            for (const wchar_t* key :
                 {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                  L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
                wchar_t query[128];
                swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0],
                         translation[1], key);
                wchar_t* value = nullptr;
                if (VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &length))
                    printf("%s=%s\n", utf8(key).c_str(), utf8(value).c_str());
            }
        }
    }
    HMODULE module =
        LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    printIcon("icon", LoadIconW(module, MAKEINTRESOURCEW(1)));
    printIcon("icon16",
              static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0)));
    return 0;
}

int detached(const wchar_t* path) {
    std::wstring command = L"\"" + std::wstring(path) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES; // all three null
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        printf("start failed (error %lu)\n", GetLastError());
        return 1;
    }
    // A launcher that blocks on a missing console would never end.
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        printf("timeout\n");
        return 1;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    printf("exit=%lu\n", status);
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 3 && lstrcmpW(argv[1], L"resources") == 0)
        return resources(argv[2]);
    if (argc == 3 && lstrcmpW(argv[1], L"detached") == 0)
        return detached(argv[2]);
    fprintf(stderr, "usage: windows_probe resources|detached EXE\n");
    return 2;
}
