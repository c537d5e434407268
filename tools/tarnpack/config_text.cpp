#include "config_text.h"

#include <cstring>

namespace tarnpack {

namespace {

size_t bomSize(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return 3;
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        return 2;
    case Encoding::Plain:
        break;
    }
    return 0;
}

bool isUtf16(Encoding encoding) {
    return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE;
}

// Code units after the byte-order mark: bytes, or 16-bit units for UTF-16. A
// stray odd byte at the end of UTF-16 text is not a unit and is left out.
std::vector<uint32_t> codeUnits(const Bytes& config, Encoding encoding) {
    std::vector<uint32_t> units;
    size_t start = bomSize(encoding);
    if (!isUtf16(encoding)) {
        units.assign(config.begin() + static_cast<std::ptrdiff_t>(start), config.end());
        return units;
    }
    bool little = encoding == Encoding::Utf16LE;
    for (size_t i = start; i + 1 < config.size(); i += 2) {
        uint32_t lo = config[little ? i : i + 1];
        uint32_t hi = config[little ? i + 1 : i];
        units.push_back(lo | (hi << 8));
    }
    return units;
}

bool isLineEnd(uint32_t unit) {
    return unit == '\r' || unit == '\n';
}

bool isWordChar(uint32_t unit) {
    return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
           (unit >= '0' && unit <= '9') || unit == '_';
}

// Does the line starting at units[pos] have the key "mainclass"?
bool lineHasMainClassKey(const std::vector<uint32_t>& units, size_t pos) {
    static const char key[] = "mainclass";
    while (pos < units.size() && units[pos] == ' ') {
        ++pos;
    }
    for (size_t i = 0; i < sizeof key - 1; ++i, ++pos) {
        if (pos >= units.size()) {
            return false;
        }
        uint32_t unit = units[pos];
        if (unit >= 'A' && unit <= 'Z') {
            unit += 'a' - 'A';
        }
        if (unit != static_cast<uint32_t>(key[i])) {
            return false;
        }
    }
    return pos >= units.size() || !isWordChar(units[pos]);
}

// Decodes UTF-8 to code points; throws on malformed input.
std::vector<uint32_t> decodeUtf8(const std::string& text) {
    std::vector<uint32_t> points;
    size_t i = 0;
    while (i < text.size()) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t length = lead < 0x80         ? 1
                        : (lead >> 5) == 6  ? 2
                        : (lead >> 4) == 14 ? 3
                        : (lead >> 3) == 30 ? 4
                                            : 0;
        if (length == 0 || i + length > text.size()) {
            throw Error("main class name '" + text + "' is not valid UTF-8");
        }
        uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                throw Error("main class name '" + text + "' is not valid UTF-8");
            }
            point = (point << 6) | (next & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < minimum[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) {
            throw Error("main class name '" + text + "' is not valid UTF-8");
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

void appendUtf8(std::string& out, uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// text (UTF-8) encoded the way the configuration is.
Bytes encodeLike(Encoding encoding, const std::string& text) {
    if (!isUtf16(encoding)) {
        return Bytes(text.begin(), text.end());
    }
    Bytes out;
    auto put = [&](uint32_t unit) {
        uint8_t lo = static_cast<uint8_t>(unit);
        uint8_t hi = static_cast<uint8_t>(unit >> 8);
        if (encoding == Encoding::Utf16LE) {
            out.push_back(lo);
            out.push_back(hi);
        } else {
            out.push_back(hi);
            out.push_back(lo);
        }
    };
    for (uint32_t point : decodeUtf8(text)) {
        if (point >= 0x10000) {
            point -= 0x10000;
            put(0xD800 | (point >> 10));
            put(0xDC00 | (point & 0x3FF));
        } else {
            put(point);
        }
    }
    return out;
}

void checkName(const std::string& name) {
    if (name.empty()) {
        throw Error("main class name is empty");
    }
    for (char c : name) {
        if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
            throw Error("main class name must not contain control characters or line breaks");
        }
    }
}

} // namespace

Encoding detectEncoding(const Bytes& config) {
    if (config.size() >= 3 && config[0] == 0xEF && config[1] == 0xBB && config[2] == 0xBF) {
        return Encoding::Utf8;
    }
    if (config.size() >= 2 && config[0] == 0xFF && config[1] == 0xFE) {
        return Encoding::Utf16LE;
    }
    if (config.size() >= 2 && config[0] == 0xFE && config[1] == 0xFF) {
        return Encoding::Utf16BE;
    }
    return Encoding::Plain;
}

const char* encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return "UTF-8 with byte-order mark";
    case Encoding::Utf16LE:
        return "UTF-16LE";
    case Encoding::Utf16BE:
        return "UTF-16BE";
    case Encoding::Plain:
        break;
    }
    return "no byte-order mark (ANSI or UTF-8)";
}

std::optional<size_t> findNul(const Bytes& config) {
    Encoding encoding = detectEncoding(config);
    size_t step = isUtf16(encoding) ? 2 : 1;
    for (size_t i = bomSize(encoding); i + step <= config.size(); i += step) {
        if (config[i] == 0 && config[i + step - 1] == 0) {
            return i;
        }
    }
    return std::nullopt;
}

bool hasMainClassLine(const Bytes& config) {
    std::vector<uint32_t> units = codeUnits(config, detectEncoding(config));
    bool lineStart = true;
    for (size_t i = 0; i < units.size(); ++i) {
        if (lineStart && lineHasMainClassKey(units, i)) {
            return true;
        }
        lineStart = isLineEnd(units[i]);
    }
    return false;
}

Bytes addMainClassLine(const Bytes& config, const std::string& name, bool first) {
    checkName(name);
    if (isUtf16(detectEncoding(config))) {
        decodeUtf8(name); // complain about the name, not the line built from it
    }
    return addConfigLine(config, "mainclass " + name, first);
}

Bytes addConfigLine(const Bytes& config, const std::string& text, bool first) {
    Encoding encoding = detectEncoding(config);
    size_t bom = bomSize(encoding);
    if (isUtf16(encoding) && (config.size() - bom) % 2 != 0) {
        throw Error("configuration is UTF-16 but has an odd number of bytes");
    }
    Bytes line = encodeLike(encoding, text + "\r\n");
    Bytes out(config.begin(), config.begin() + static_cast<std::ptrdiff_t>(bom));
    if (first) {
        out.insert(out.end(), line.begin(), line.end());
        out.insert(out.end(), config.begin() + static_cast<std::ptrdiff_t>(bom), config.end());
        return out;
    }
    out.insert(out.end(), config.begin() + static_cast<std::ptrdiff_t>(bom), config.end());
    std::vector<uint32_t> units = codeUnits(config, encoding);
    if (!units.empty() && !isLineEnd(units.back())) {
        Bytes lineEnd = encodeLike(encoding, "\r\n");
        out.insert(out.end(), lineEnd.begin(), lineEnd.end());
    }
    out.insert(out.end(), line.begin(), line.end());
    return out;
}

std::string configToUtf8(const Bytes& config) {
    Encoding encoding = detectEncoding(config);
    if (!isUtf16(encoding)) {
        return std::string(config.begin() + static_cast<std::ptrdiff_t>(bomSize(encoding)),
                           config.end());
    }
    std::vector<uint32_t> units = codeUnits(config, encoding);
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            appendUtf8(out, 0xFFFD); // unpaired surrogate
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace tarnpack
