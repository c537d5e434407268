#include "config/launch_config.h"

#include "base/convert.h"
#include "config/expand.h"

#include <ctype.h>

namespace tarn {

LaunchConfig* currentConfig = nullptr;

LaunchConfig::LaunchConfig(bool loadSources) {
    if (loadSources)
        load();
}

namespace {

// Splits zero-terminated text into lines at CR, LF, CRLF or LFCR.
class LineReader {
  public:
    explicit LineReader(const char* text) : cursor_(text) {}

    bool next(const char*& line, int32_t& length) {
        if (cursor_ == nullptr || *cursor_ == 0)
            return false;
        line = cursor_;
        const char* p = cursor_;
        while (*p && *p != '\r' && *p != '\n')
            ++p;
        length = int32_t(p - line);
        if (*p) {
            char first = *p++;
            if ((*p == '\r' || *p == '\n') && *p != first)
                ++p;
        }
        cursor_ = p;
        return true;
    }

  private:
    const char* cursor_;
};

bool isKeyEnd(char ch) {
    return isalnum((unsigned char)ch) || ch == '_';
}

int asciiCompareNoCase(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        int x = tolower((unsigned char)a[i]), y = tolower((unsigned char)b[i]);
        if (x != y)
            return x - y;
    }
    return 0;
}

} // namespace

ByteString LaunchConfig::findValue(const char* key, ValueCallback callback, void* context,
                                   bool embeddedOnly, bool toAnsi) const {
    if (data_ == nullptr)
        return ByteString("", 0);
    int32_t keyLength = countToZero(key);
    int32_t start = embeddedOnly ? externalLength_ : 0;
    if (start > length_)
        start = length_;
    LineReader reader(data_ + start);
    const char* line;
    int32_t length;
    while (reader.next(line, length)) {
        const char* end = line + length;
        const char* p = line;
        while (p < end && *p == ' ')
            ++p;
        if (end - p < keyLength || asciiCompareNoCase(p, key, keyLength) != 0)
            continue;
        p += keyLength;
        if (p < end && isKeyEnd(*p))
            continue;
        while (p < end && *p == ' ')
            ++p;
        if (p < end && *p == '=') {
            ++p;
            while (p < end && *p == ' ')
                ++p;
        }
        ByteString value(p, int32_t(end - p));
        if (toAnsi) {
            for (int32_t i = 0; i < value.length(); ++i) {
                if ((unsigned char)value[i] >= 0x80) {
                    value = utf8ToAnsi(value.data(), value.length());
                    break;
                }
            }
        }
        if (callback == nullptr)
            return value;
        callback(context, value.cStr());
    }
    return ByteString("", 0);
}

void LaunchConfig::collectValues(const char* key, StringList& list, bool embeddedOnly,
                                 bool toAnsi) const {
    findValue(key, toAnsi ? appendExpanded : appendExpandedUtf8, &list, embeddedOnly, toAnsi);
}

ByteString LaunchConfig::stdoutTarget() const {
    return expandValue(lookup("stdout", false, true), false);
}
ByteString LaunchConfig::stderrTarget() const {
    return expandValue(lookup("stderr", false, true), false);
}
ByteString LaunchConfig::forceCwd() const {
    return expandValue(lookup("forcecwd", false, true), false);
}

} // namespace tarn
