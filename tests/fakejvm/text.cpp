#include "text.h"

#include <cstdio>

namespace fakejvm {

namespace {

bool is_high(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void put_utf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Walks UTF-16 code points; `lone` is called for unpaired surrogates.
template <typename Point, typename Lone>
void each_point(const std::u16string& in, Point point, Lone lone) {
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (is_high(c) && i + 1 < in.size() && is_low(in[i + 1])) {
            point(0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00));
            ++i;
        } else if (is_high(c) || is_low(c)) {
            lone(c);
        } else {
            point(c);
        }
    }
}

std::string u_escape(char32_t c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    return buf;
}

} // namespace

bool modified_utf8_to_utf16(const std::string& in, std::u16string& out) {
    out.clear();
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    size_t n = in.size();
    auto cont = [&](size_t i) { return i < n && (s[i] & 0xC0) == 0x80; };
    for (size_t i = 0; i < n;) {
        unsigned char b = s[i];
        if (b >= 0x01 && b < 0x80) {
            out.push_back(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && cont(i + 1)) {
            char16_t c = static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            if (c < 0x80 && c != 0) {
                return false; // overlong; only NUL may take two bytes
            }
            out.push_back(c);
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            char16_t c = static_cast<char16_t>(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                               (s[i + 2] & 0x3F));
            if (c < 0x800) {
                return false;
            }
            out.push_back(c);
            i += 3;
        } else {
            return false; // raw NUL, stray continuation, four-byte form or truncation
        }
    }
    return true;
}

std::u16string utf8_to_utf16(const std::string& in) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    size_t n = in.size();
    for (size_t i = 0; i < n;) {
        unsigned char b = s[i];
        int len = b < 0x80             ? 1
                  : (b & 0xE0) == 0xC0 ? 2
                  : (b & 0xF0) == 0xE0 ? 3
                  : (b & 0xF8) == 0xF0 ? 4
                                       : 0;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (s[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            i += 1;
            continue;
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string utf16_to_utf8(const std::u16string& in) {
    std::string out;
    each_point(
        in, [&](char32_t c) { put_utf8(c, out); }, [&](char32_t) { put_utf8(0xFFFD, out); });
    return out;
}

std::string record_utf16(const std::u16string& in) {
    std::string out;
    each_point(
        in,
        [&](char32_t c) {
            if (c == '\\') {
                out += "\\\\";
            } else if (c == '\n') {
                out += "\\n";
            } else if (c == 0) {
                out += u_escape(c);
            } else {
                put_utf8(c, out);
            }
        },
        [&](char32_t c) { out += u_escape(c); });
    return out;
}

std::string record_bytes(const std::string& in) {
    std::string out;
    for (char c : in) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace fakejvm
