#include "jvm/thread_stack.h"

#include <ctype.h>
#include <string.h>

namespace tarn {

namespace {

// java raises smaller non-zero sizes to this, so the VM can start at all.
const uint64_t minimumStack = 64 * 1024;
const uint64_t saturated = uint64_t(1) << 62;

// Shifts, not divisions: the 32-bit Windows stub has no 64-bit division of its own.
uint64_t scaled(uint64_t n, int kiloPower) {
    int shift = 10 * kiloPower;
    return n > (saturated >> shift) ? saturated : n << shift;
}

bool parseSize(const char* text, uint64_t& size) {
    if (*text < '0' || *text > '9')
        return false;
    uint64_t n = 0;
    const uint64_t lastBeforeSaturation = (saturated - 9) / 10; // folded at compile time
    for (; *text >= '0' && *text <= '9'; ++text)
        n = n > lastBeforeSaturation ? saturated : n * 10 + uint64_t(*text - '0');
    if (text[0] != 0 && text[1] != 0)
        return false;
    if (*text == 0) {
        size = n;
        return true;
    }
    // One suffix letter: kilo, mega, giga or tera.
    static const char units[] = "kmgt";
    const char* unit = strchr(units, tolower((unsigned char)*text));
    if (unit == nullptr)
        return false;
    size = scaled(n, int(unit - units) + 1);
    return true;
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
        parsed = scaled(parsed, 1);
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
