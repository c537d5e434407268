#include "config/expand.h"

#include "base/convert.h"
#include "base/string_list.h"
#include "config/launch_config.h"
#include "platform/platform.h"

#include <ctype.h>

namespace tarn {

// Filled once, when HOMEDRIVE and HOMEPATH are both first seen.
static ByteString homeCache;

static bool isNameChar(char ch) {
    return isalnum((unsigned char)ch) || ch == '_';
}

static bool hasHighBytes(const char* text) {
    for (; *text; ++text)
        if ((unsigned char)*text >= 0x80)
            return true;
    return false;
}

const char* LaunchConfig::specialVariable(const char* name) const {
    ByteString key(name);
    if (key.equalsNoCase("APPLICATION_HOME"))
        return appHome_.cStr();
    if (key.equalsNoCase("PWD"))
        return workDir_.cStr();
    if (key.equalsNoCase("TARN_APP_PATH"))
        return exePath_.cStr();
    if (key.equalsNoCase("HOME")) {
        const char* drive = platform::getEnv("HOMEDRIVE");
        const char* path = platform::getEnv("HOMEPATH");
        if (homeCache.isEmpty() && drive && path) {
            homeCache = ByteString(drive);
            homeCache.append(path);
        }
        return homeCache.cStr();
    }
    return nullptr;
}

// Shells on Linux export PWD without the trailing separator and blind to
// forcecwd; there the recorded working directory wins so %PWD% means the same
// everywhere.
static const char* lookUpVariable(const char* name) {
    if (platform::classPathSeparator == ':' && currentConfig) {
        if (ByteString(name).equalsNoCase("PWD"))
            return currentConfig->specialVariable(name);
    }
    const char* value = platform::getEnv(name);
    if (value == nullptr && currentConfig)
        value = currentConfig->specialVariable(name);
    return value;
}

ByteString expandValue(const ByteString& value, bool toUtf8) {
    ByteString result;
    const char* text = value.data() ? value.data() : "";
    int32_t n = value.length();
    int32_t p = 0, q = 0;
    while (p < n) {
        int32_t i = p;
        while (i < n && text[i] != '%' && text[i] != '$')
            ++i;
        if (i >= n)
            break;
        int32_t j = i + 1;
        while (j < n && isNameChar(text[j]))
            ++j;
        p = j;
        ByteString replacement;
        if (j == i + 1) {
            if (i + 1 < n && text[i + 1] == text[i]) {
                replacement = ByteString(text + i, 1);
                p = i + 2;
            } else {
                continue;
            }
        } else {
            if (text[i] == '%') {
                if (j >= n || text[j] != '%')
                    continue;
                p = j + 1;
            }
            ByteString name(text + i + 1, j - i - 1);
            const char* found = lookUpVariable(name.cStr());
            if (found == nullptr)
                continue;
            replacement = (toUtf8 && hasHighBytes(found)) ? ansiToUtf8(found) : ByteString(found);
        }
        result.append(text + q, i - q);
        result.append(replacement);
        q = p;
    }
    result.append(text + q, n - q);
    result.cStr();
    return result;
}

void appendExpanded(void* list, const char* value) {
    static_cast<StringList*>(list)->add(expandValue(ByteString(value), false));
}

void appendExpandedUtf8(void* list, const char* value) {
    static_cast<StringList*>(list)->add(expandValue(ByteString(value), true));
}

} // namespace tarn
