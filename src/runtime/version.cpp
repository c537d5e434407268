// Version texts as minjre, maxjre and java.version write them.
#include "runtime/version.h"

#include <ctype.h>
#include <limits.h>

namespace tarn {

int parseVersion(const char* text, int fields[4]) {
    if (text == nullptr || *text == 0)
        return -1;
    const char separators[] = {'.', '.', '_'};
    const char* p = text;
    int count = 0;
    while (count < 4) {
        while (isspace((unsigned char)*p))
            ++p;
        bool negative = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        if (!isdigit((unsigned char)*p))
            break;
        // Saturates at INT_MAX; checked before multiplying, so no type can overflow.
        int value = 0;
        while (isdigit((unsigned char)*p)) {
            int digit = *p - '0';
            value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
            ++p;
        }
        fields[count++] = int(negative ? -value : value);
        if (count == 4 || *p != separators[count - 1])
            break;
        ++p;
    }
    return count;
}

int compareVersions(const int version[4], int versionCount, const int bound[4], int boundCount) {
    int n = versionCount < boundCount ? versionCount : boundCount;
    for (int i = 0; i < n; ++i) {
        if (version[i] < bound[i])
            return -1;
        if (version[i] > bound[i])
            return 1;
    }
    return 0;
}

int featureRelease(const char* version) {
    int fields[4];
    int count = parseVersion(version, fields);
    if (count < 1)
        return 0;
    // From 9 on the first field is the release; before, it followed "1.".
    return fields[0] == 1 && count >= 2 ? fields[1] : fields[0];
}

} // namespace tarn
