// Linux has no registry: every key is missing.
#include "platform/platform.h"

namespace tarn {
namespace platform {

void* openMachineKey(const char*) {
    return nullptr;
}
bool readKeyString(void*, const char*, char*, int32_t) {
    return false;
}
void closeKey(void*) {}

} // namespace platform
} // namespace tarn
