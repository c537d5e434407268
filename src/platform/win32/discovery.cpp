// Windows side of the runtime search: links, library headers, both registry
// views and the folders where installers, Scoop and IDEs put runtimes.
#include "platform/platform.h"
#include "platform/win32/text.h"

#include <stdlib.h>

namespace tarn {
namespace platform {

bool realPath(const char* path, ByteString& out) {
    // Backup semantics let a directory be opened as well as a file.
    HANDLE file = CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    wchar_t units[1024];
    const DWORD size = sizeof units / sizeof units[0];
    DWORD n = GetFinalPathNameByHandleW(file, units, size, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (n == 0 || n >= size) {
        // The file exists; without a final name its full name still tells copies apart.
        n = GetFullPathNameW(Wide(path), size, units, nullptr);
        if (n == 0 || n >= size)
            return false;
        out = fromWide(units, int32_t(n));
        return true;
    }
    ByteString text = fromWide(units, int32_t(n));
    const char* name = text.cStr();
    if (strncmp(name, "\\\\?\\UNC\\", 8) == 0) {
        out = ByteString("\\\\");
        out.append(name + 8);
        return true;
    }
    if (strncmp(name, "\\\\?\\", 4) == 0)
        name += 4;
    out = ByteString(name);
    return true;
}

int32_t readFileHead(const char* path, unsigned char* buffer, int32_t size) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD read = 0;
    BOOL ok = ReadFile(file, buffer, DWORD(size), &read, nullptr);
    CloseHandle(file);
    return ok ? int32_t(read) : -1;
}

namespace {

// value of the variable (or fallback + tail when it is unset) + rest, as a folder.
void addFolder(StringList& parents, StringList& suffixes, const char* variable, const char* rest,
               const char* suffix, const char* fallbackVariable = nullptr,
               const char* fallbackTail = nullptr) {
    const char* value = getEnv(variable);
    ByteString folder;
    if (value != nullptr && *value != 0) {
        folder = ByteString(value);
    } else if (fallbackVariable != nullptr) {
        value = getEnv(fallbackVariable);
        if (value == nullptr || *value == 0)
            return;
        folder = ByteString(value);
        folder.append(fallbackTail);
    } else {
        return;
    }
    folder.append(rest);
    parents.add(folder.cStr());
    suffixes.add(suffix);
}

} // namespace

void runtimeFolders(StringList& parents, StringList& suffixes) {
    static const char* const vendors[] = {
        "Java", "Eclipse Adoptium", "AdoptOpenJDK",    "Microsoft",
        "Zulu", "BellSoft",         "Amazon Corretto", "Semeru"};
    static const char* const bases[] = {"\\", "\\Programs\\"};
    for (const char* base : bases) {
        for (const char* vendor : vendors) {
            ByteString rest(base);
            rest.append(vendor);
            rest.append("\\");
            addFolder(parents, suffixes, base[1] == 0 ? "ProgramFiles" : "LOCALAPPDATA",
                      rest.cStr(), "");
        }
    }
    // Scoop keeps every app in apps\<name>\<version>, with "current" linking the newest.
    addFolder(parents, suffixes, "SCOOP", "\\apps\\", "current\\", "USERPROFILE", "\\scoop");
    addFolder(parents, suffixes, "SCOOP_GLOBAL", "\\apps\\", "current\\", "ProgramData", "\\scoop");
    addFolder(parents, suffixes, "USERPROFILE", "\\.jdks\\", "");
}

void* openRegistryKey(RegistryRoot root, int view, const char* path) {
    // The other view of a 64-bit process is the 32-bit one and the reverse; on a
    // 32-bit Windows both flags are ignored and the same key is read twice.
    REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY key;
    if (RegOpenKeyExW(root == RegistryRoot::machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      Wide(path), 0, KEY_READ | (view == 0 ? 0 : other), &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool registrySubkey(void* key, int32_t index, ByteString& name) {
    wchar_t buffer[256]; // the longest key name the registry allows, and its NUL
    DWORD length = sizeof buffer / sizeof buffer[0];
    if (RegEnumKeyExW(static_cast<HKEY>(key), DWORD(index), buffer, &length, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    name = fromWide(buffer, int32_t(length));
    return true;
}

} // namespace platform
} // namespace tarn
