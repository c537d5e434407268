// 8-bit and 16-bit text. ByteString holds ANSI text unless its owner says UTF-8
// (the configuration store); WideString holds UTF-16 code units on every platform.
#pragma once

#include "base/array.h"

namespace tarn {

// True when ch occurs in the zero-terminated set; the zero character never does.
bool charInSet(const char* set, char ch);

class ByteString : public TerminatedArray<char> {
  public:
    ByteString() {}
    ByteString(const char* text, int32_t n = -1) : TerminatedArray<char>(text, n) {}
    ByteString(const StringView& view) : TerminatedArray<char>(view.data(), view.length()) {}
    ByteString(const ByteString& other) = default;
    ByteString(ByteString&& other) = default;
    ByteString& operator=(const ByteString& other) = default;
    ByteString& operator=(ByteString&& other) = default;

    using Array<char>::append;
    void append(const char* text) { Array<char>::append(text, -1); }
    void appendChar(char ch) { appendOne(ch); }

    int compare(const char* other) const;
    int compare(const StringView& other) const;
    int compareNoCase(const StringView& other) const;
    bool equals(const char* other) const { return compare(other) == 0; }
    bool equalsNoCase(const char* other) const { return compareNoCase(StringView(other)) == 0; }

    ByteString left(int32_t n) const;
    ByteString right(int32_t n) const;
    ByteString mid(int32_t pos) const;
    ByteString mid(int32_t pos, int32_t n) const;

    // Index of the first / last occurrence of ch, or -1.
    int32_t find(char ch, int32_t from = 0) const;
    int32_t findLast(char ch) const;
    // Last index whose character is in set, or -1.
    int32_t findLastOf(const char* set) const;
    bool endsWithSeparator() const;

    static ByteString concat(const char* prefix, const ByteString& s);
};

class WideString : public TerminatedArray<char16_t> {
  public:
    WideString() {}
    WideString(const char16_t* units, int32_t n = -1) : TerminatedArray<char16_t>(units, n) {}
    WideString(const WideString& other) = default;
    WideString(WideString&& other) = default;
    WideString& operator=(const WideString& other) = default;
    WideString& operator=(WideString&& other) = default;
};

} // namespace tarn
