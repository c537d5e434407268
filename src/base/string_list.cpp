#include "base/string_list.h"

namespace tarn {

void StringList::add(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    *insertGap(length_, 1) = chars_.length();
    chars_.append(text, n);
    chars_.appendOne('\0');
}

void StringList::clear() {
    resize(0);
    chars_.resize(0);
}

} // namespace tarn
