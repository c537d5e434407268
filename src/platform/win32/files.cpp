// Windows paths, file reading and mapping, directory enumeration, files kept between runs.
#include "platform/platform.h"

#include "platform/win32/text.h"

#include <io.h>

namespace tarn {
namespace platform {

bool executablePath(ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

bool currentDirectory(ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

bool setCurrentDirectory(const char* path) {
    return SetCurrentDirectoryW(Wide(path)) != 0;
}

int32_t fullPathName(const char* path, char* buffer, int32_t size) {
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(Wide(path), MAX_PATH, full, nullptr);
    if (n == 0)
        return 0;
    if (n >= MAX_PATH)
        return size;
    ByteString text = fromWide(full, int32_t(n));
    if (text.length() < size)
        memcpy(buffer, text.cStr(), size_t(text.length()) + 1);
    return text.length();
}

bool pathExists(const char* path) {
    return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const char* path) {
    DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool canRead(const char* path) {
    return _waccess(Wide(path), 4) == 0;
}

bool readWholeFile(const char* path, ByteBuffer& out) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size < 0x7FFFFFFF;
    if (ok) {
        out.resize(int32_t(size));
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, out.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    if (!ok)
        out.resize(0);
    return ok;
}

bool mapFile(const char* path, MappedFile& out) {
    out = MappedFile();
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return false;
    }
    out.file = file;
    out.size = size.QuadPart;
    if (out.size == 0)
        return true;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        if (mapping)
            CloseHandle(mapping);
        CloseHandle(file);
        out = MappedFile();
        return false;
    }
    out.mapping = mapping;
    out.data = static_cast<const unsigned char*>(view);
    return true;
}

void unmapFile(MappedFile& mapped) {
    if (mapped.data)
        UnmapViewOfFile(mapped.data);
    if (mapped.mapping)
        CloseHandle(mapped.mapping);
    if (mapped.file)
        CloseHandle(mapped.file);
    mapped = MappedFile();
}

bool openDirectory(DirectoryScan& scan, const char* directory) {
    scan.pattern = ByteString(directory);
    scan.pattern.append("*.*");
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(Wide(scan.pattern.cStr()), &found);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    scan.handle = handle;
    scan.name = fromWide(found.cFileName);
    scan.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    scan.pendingFirst = true;
    return true;
}

bool nextEntry(DirectoryScan& scan) {
    if (scan.handle == nullptr)
        return false;
    if (scan.pendingFirst) {
        scan.pendingFirst = false;
        return true;
    }
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(scan.handle, &found))
        return false;
    scan.name = fromWide(found.cFileName);
    scan.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

void closeDirectory(DirectoryScan& scan) {
    if (scan.handle)
        FindClose(scan.handle);
    scan.handle = nullptr;
}

static int64_t ticks(const FILETIME& time) {
    return int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

bool fileInfo(const char* path, FileInfo& out) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data))
        return false;
    out.size = int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    out.modified = ticks(data.ftLastWriteTime);
    out.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool renameFile(const char* from, const char* to) {
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const char* path) {
    return DeleteFileW(Wide(path)) != 0;
}

int64_t currentTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ticks(now);
}

FILE* openFile(const char* path, const char* mode) {
    return _wfopen(Wide(path), Wide(mode));
}

} // namespace platform
} // namespace tarn
