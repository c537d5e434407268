// Windows side of the per-user cache: folders, whole-file writes, renames.
#include "platform/platform.h"
#include "platform/win32/text.h"

#include <windows.h>

namespace tarn {
namespace platform {

bool userCacheDirectory(ByteString& out) {
    const char* local = getEnv("LOCALAPPDATA");
    if (local == nullptr || local[0] == 0)
        return false;
    out = ByteString(local);
    while (out.length() > 3 && (out[out.length() - 1] == '\\' || out[out.length() - 1] == '/'))
        out.resize(out.length() - 1);
    return true;
}

bool makeDirectories(const char* path) {
    ByteString partial(path);
    char* p = partial.data();
    // Start past a drive ("C:\") or the server and share of a UNC path.
    int32_t start = 1;
    if (partial.length() >= 2 && p[1] == ':')
        start = 3;
    for (int32_t i = start; i <= partial.length(); ++i) {
        if (i < partial.length() && p[i] != '/' && p[i] != '\\')
            continue;
        char saved = p[i];
        p[i] = 0;
        if (!isDirectory(p) && !CreateDirectoryW(Wide(p), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_ACCESS_DENIED)
            return false;
        p[i] = saved;
    }
    return isDirectory(path);
}

bool writeNewFile(const char* path, const unsigned char* data, size_t size, uint32_t) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    while (ok && size > 0) {
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        DWORD written = 0;
        ok = WriteFile(file, data, chunk, &written, nullptr) && written == chunk;
        data += chunk;
        size -= chunk;
    }
    ok = CloseHandle(file) && ok;
    return ok;
}

int64_t fileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool renameDirectory(const char* from, const char* to) {
    return MoveFileExW(Wide(from), Wide(to), 0) != 0;
}

void removeTree(const char* path) {
    DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(Wide(path), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    // A junction or link is removed itself, never entered.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(Wide(path));
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ByteString pattern(path);
        pattern.append("\\*");
        WIN32_FIND_DATAW found;
        HANDLE scan = FindFirstFileW(Wide(pattern.cStr()), &found);
        if (scan != INVALID_HANDLE_VALUE) {
            do {
                const wchar_t* name = found.cFileName;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                ByteString child(path);
                child.append("\\");
                child.append(fromWide(name).cStr());
                removeTree(child.cStr());
            } while (FindNextFileW(scan, &found));
            FindClose(scan);
        }
    }
    RemoveDirectoryW(Wide(path));
}

uint32_t processId() {
    return uint32_t(GetCurrentProcessId());
}

bool processAlive(uint32_t id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(id));
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

} // namespace platform
} // namespace tarn
