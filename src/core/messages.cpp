#include "core/messages.h"

#include "base/convert.h"
#include "base/string_list.h"
#include "config/launch_config.h"
#include "platform/platform.h"

#include <stdlib.h>

namespace tarn {

namespace {

// Built at the first lookup and kept for the life of the process: pairs of
// (code, index into overrideTexts), closed by (0, 0).
IntArray overridePairs;
StringList overrideTexts;
bool overridesBuilt = false;

void buildOverrides() {
    overridesBuilt = true;
    StringList values;
    if (currentConfig)
        currentConfig->collectValues("message", values, false, true);
    for (int32_t i = 0; i < values.count(); ++i) {
        char* value = values.item(i);
        char* eq = strchr(value, '=');
        if (eq == nullptr)
            continue;
        *eq = 0;
        int code = atoi(value);
        if (code <= 0)
            continue;
        overridePairs.appendOne(code);
        overridePairs.appendOne(overrideTexts.count());
        overrideTexts.add(unescapeMessageText(eq + 1));
    }
    overridePairs.appendOne(0);
    overridePairs.appendOne(0);
}

uint16_t readUnit(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

ByteString fromStringTable(int code) {
    const unsigned char* block;
    int32_t size;
    if (!platform::findStringBlock(code / 16 + 1, &block, &size))
        return ByteString("", 0);
    int32_t offset = 0;
    // Entries past the end of the block read as empty.
    for (int skip = code % 16; skip > 0 && offset + 2 <= size; --skip)
        offset += 2 + 2 * readUnit(block + offset);
    if (offset + 2 > size)
        return ByteString("", 0);
    int32_t count = readUnit(block + offset);
    offset += 2;
    if (count > (size - offset) / 2)
        count = (size - offset) / 2;
    WideString units;
    units.resize(count);
    for (int32_t i = 0; i < count; ++i)
        units[i] = readUnit(block + offset + 2 * i);
    return wideToAnsi(units.cStr(), count);
}

} // namespace

ByteString unescapeMessageText(const char* text) {
    ByteString out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\') {
            out.appendChar(*p);
            continue;
        }
        ++p;
        if (*p == 0)
            break;
        out.appendChar(*p == 'n' ? '\n' : *p == 'r' ? '\r' : *p == 't' ? '\t' : *p);
    }
    out.cStr();
    return out;
}

// Index of the first override text for code, or -1.
static int32_t findOverride(int code) {
    if (!overridesBuilt)
        buildOverrides();
    // The walk ends at the closing (0, 0) pair, which names no override.
    for (int32_t i = 0; i + 1 < overridePairs.length() && overridePairs[i] != 0; i += 2) {
        if (overridePairs[i] == code && overridePairs[i + 1] < overrideTexts.count())
            return overridePairs[i + 1];
    }
    return -1;
}

bool hasMessageOverride(int code) {
    return findOverride(code) >= 0;
}

ByteString loadMessage(int code) {
    int32_t index = findOverride(code);
    if (index >= 0)
        return ByteString(overrideTexts.item(index));
    return fromStringTable(code);
}

void formatMessage(ByteString& out, const char* format, const char* const* args, int argCount) {
    out.resize(0);
    out.reserve(maxFormattedLength + 1);
    int used = 0;
    for (const char* p = format; *p && out.length() < maxFormattedLength; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out.appendChar('%');
            ++p;
        } else if (p[0] == '%' && p[1] == 's') {
            const char* arg = used < argCount && args[used] ? args[used] : "";
            ++used;
            out.append(arg);
            ++p;
        } else {
            out.appendChar(*p);
        }
    }
    if (out.length() > maxFormattedLength)
        out.resize(maxFormattedLength);
    out.cStr();
}

} // namespace tarn
