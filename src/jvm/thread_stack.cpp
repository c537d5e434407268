#include "jvm/thread_stack.h"

#include <string.h>

namespace tarn {

namespace {

const uint64_t kilo = 1024;
// java raises smaller non-zero sizes to this, so the VM can start at all.
const uint64_t minimumStack = 64 * kilo;
const uint64_t saturated = uint64_t(1) << 62;

uint64_t scaled(uint64_t n, uint64_t factor) {
    return n > saturated / factor ? saturated : n * factor;
}

bool parseSize(const char* text, uint64_t& size) {
    if (*text < '0' || *text > '9')
        return false;
    uint64_t n = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        uint64_t digit = uint64_t(*text - '0');
        n = n > (saturated - digit) / 10 ? saturated : n * 10 + digit;
    }
    if (text[0] != 0 && text[1] != 0)
        return false;
    switch (*text) {
    case 0:
        size = n;
        return true;
    case 'k':
    case 'K':
        size = scaled(n, kilo);
        return true;
    case 'm':
    case 'M':
        size = scaled(n, kilo * kilo);
        return true;
    case 'g':
    case 'G':
        size = scaled(n, kilo * kilo * kilo);
        return true;
    case 't':
    case 'T':
        size = scaled(n, kilo * kilo * kilo * kilo);
        return true;
    default:
        return false;
    }
}

} // namespace

bool parseStackSizeOption(const char* option, uint64_t& size) {
    static const char xss[] = "-Xss";
    static const char threadStackSize[] = "-XX:ThreadStackSize=";
    uint64_t parsed;
    if (strncmp(option, xss, sizeof xss - 1) == 0) {
        if (!parseSize(option + sizeof xss - 1, parsed))
            return false;
    } else if (strncmp(option, threadStackSize, sizeof threadStackSize - 1) == 0) {
        if (!parseSize(option + sizeof threadStackSize - 1, parsed))
            return false;
        parsed = scaled(parsed, kilo);
    } else {
        return false;
    }
    size = parsed != 0 && parsed < minimumStack ? minimumStack : parsed;
    return true;
}

uint64_t stackSizeFromOptions(const StringList& options) {
    uint64_t size = 0;
    for (int32_t i = 0; i < options.count(); ++i)
        parseStackSizeOption(options.item(i), size);
    return size;
}

} // namespace tarn
