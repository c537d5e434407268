#include "base/string.h"

#include <ctype.h>

namespace tarn {

bool charInSet(const char* set, char ch) {
    if (ch == 0)
        return false;
    for (; *set; ++set)
        if (*set == ch)
            return true;
    return false;
}

static int compareViews(const StringView& a, const StringView& b, bool ignoreCase) {
    int32_t m = a.length() < b.length() ? a.length() : b.length();
    int32_t i = 0;
    while (i < m) {
        char x = a[i], y = b[i];
        if (x != y && !(ignoreCase && toupper((unsigned char)x) == toupper((unsigned char)y)))
            break;
        ++i;
    }
    signed char x = i < a.length() ? (signed char)a[i] : 0;
    signed char y = i < b.length() ? (signed char)b[i] : 0;
    return int(x) - int(y);
}

int ByteString::compare(const char* other) const {
    return compareViews(*this, StringView(other), false);
}
int ByteString::compare(const StringView& other) const {
    return compareViews(*this, other, false);
}
int ByteString::compareNoCase(const StringView& other) const {
    return compareViews(*this, other, true);
}

ByteString ByteString::left(int32_t n) const {
    return ByteString(data_, n < length_ ? n : length_);
}
ByteString ByteString::right(int32_t n) const {
    if (n > length_)
        n = length_;
    return ByteString(data_ + length_ - n, n);
}
ByteString ByteString::mid(int32_t pos) const {
    if (pos >= length_)
        return ByteString("", 0);
    return ByteString(data_ + pos, length_ - pos);
}
ByteString ByteString::mid(int32_t pos, int32_t n) const {
    if (pos >= length_)
        return ByteString("", 0);
    if (n > length_ - pos)
        n = length_ - pos;
    return ByteString(data_ + pos, n);
}

int32_t ByteString::find(char ch, int32_t from) const {
    for (int32_t i = from; i < length_; ++i)
        if (data_[i] == ch)
            return i;
    return -1;
}
int32_t ByteString::findLast(char ch) const {
    for (int32_t i = length_ - 1; i >= 0; --i)
        if (data_[i] == ch)
            return i;
    return -1;
}
int32_t ByteString::findLastOf(const char* set) const {
    for (int32_t i = length_ - 1; i >= 0; --i)
        if (charInSet(set, data_[i]))
            return i;
    return -1;
}
bool ByteString::endsWithSeparator() const {
    return length_ > 0 && charInSet("/\\", data_[length_ - 1]);
}

ByteString ByteString::concat(const char* prefix, const ByteString& s) {
    ByteString result(prefix);
    result.append(s);
    return result;
}

} // namespace tarn
