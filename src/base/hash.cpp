#include "base/hash.h"

namespace tarn {

uint64_t fnvHash(uint64_t hash, const void* data, int32_t n) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (int32_t i = 0; i < n; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ULL;
    }
    return hash;
}

void appendHex(ByteString& out, uint64_t value, int minDigits) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0 || n < minDigits);
    while (n > 0)
        out.appendChar(digits[--n]);
}

} // namespace tarn
