#include "runtime/release.h"

#include "platform/platform.h"

#include <string.h>

namespace tarn {

bool parseReleaseText(const char* text, int32_t length, ByteString& version) {
    static const char key[] = "JAVA_VERSION=";
    const int32_t keyLength = int32_t(sizeof key - 1);
    int32_t at = 0;
    while (at < length) {
        int32_t end = at;
        while (end < length && text[end] != '\n' && text[end] != '\r')
            ++end;
        if (end - at > keyLength && memcmp(text + at, key, size_t(keyLength)) == 0) {
            int32_t from = at + keyLength;
            int32_t to = end;
            if (from < to && text[from] == '"')
                ++from;
            if (to > from && text[to - 1] == '"')
                --to;
            if (to <= from)
                return false;
            version = ByteString(text + from, to - from);
            return true;
        }
        at = end + 1;
    }
    return false;
}

bool readReleaseVersion(const char* home, ByteString& version) {
    ByteString path(home);
    if (!path.endsWithSeparator())
        path.append("/");
    path.append("release");
    ByteBuffer text;
    // A release file is a few hundred bytes; anything huge is not one.
    if (!platform::readWholeFile(path.cStr(), text) || text.length() > 65536)
        return false;
    return parseReleaseText(text.data(), text.length(), version);
}

bool readLibraryVersion(const char* libraryPath, ByteString& version) {
    ByteString directory(libraryPath);
    // Up from the library: its folder, bin or lib, the home, and for a JDK 8
    // jre/lib/<arch>/server layout two more levels.
    for (int level = 0; level < 5; ++level) {
        int32_t at = directory.findLastOf("\\/");
        if (at <= 0)
            return false;
        directory.resize(at);
        if (readReleaseVersion(directory.cStr(), version))
            return true;
    }
    return false;
}

} // namespace tarn
