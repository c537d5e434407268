// Windows resources: the string table linked into the executable.
#include "platform/platform.h"

#include <windows.h>

namespace tarn {
namespace platform {

bool findStringBlock(int block, const unsigned char** data, int32_t* size) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(block), MAKEINTRESOURCEA(6));
    if (resource == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (locked == nullptr)
        return false;
    *data = static_cast<const unsigned char*>(locked);
    *size = int32_t(SizeofResource(nullptr, resource));
    return true;
}

} // namespace platform
} // namespace tarn
