// Windows registry reads below HKEY_LOCAL_MACHINE.
#include "platform/platform.h"

#include "platform/win32/text.h"

namespace tarn {
namespace platform {

void* openMachineKey(const char* path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool readKeyString(void* key, const char* value, char* buffer, int32_t size) {
    // Read as UTF-16, so a path the ANSI code page cannot spell arrives whole.
    wchar_t units[1024];
    DWORD bytes = sizeof units - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(static_cast<HKEY>(key), Wide(value), nullptr, &type,
                         reinterpret_cast<BYTE*>(units), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size <= 0)
        return false;
    // Registry strings need not carry their terminator.
    units[bytes / sizeof(wchar_t)] = 0;
    ByteString text = fromWide(units);
    int32_t n = text.length() < size ? text.length() : size - 1;
    memcpy(buffer, text.cStr(), size_t(n));
    buffer[n] = 0;
    return true;
}

void closeKey(void* key) {
    if (key)
        RegCloseKey(static_cast<HKEY>(key));
}

} // namespace platform
} // namespace tarn
