#include "version_info.h"

#include "io.h"
#include "pe_image.h"
#include "resource_tree.h"

namespace tarnpack {

namespace {

// One node of a VS_VERSIONINFO tree: header, key, value, children, each
// 32-bit aligned from the node's start.
Bytes versionNode(const std::string& key, bool text, const Bytes& value, size_t valueLength,
                  const std::vector<Bytes>& children) {
    Bytes node(6, 0);
    putLe16(&node[2], static_cast<uint16_t>(valueLength));
    putLe16(&node[4], text ? 1 : 0);
    for (char c : key) {
        node.push_back(static_cast<uint8_t>(c));
        node.push_back(0);
    }
    node.insert(node.end(), {0, 0});
    node.resize(alignUp(node.size(), 4), 0);
    node.insert(node.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        node.resize(alignUp(node.size(), 4), 0);
        node.insert(node.end(), child.begin(), child.end());
    }
    putLe16(&node[0], static_cast<uint16_t>(node.size()));
    return node;
}

Bytes stringNode(const std::string& key, const std::string& value) {
    std::u16string units = utf16(value);
    Bytes bytes;
    for (char16_t u : units) {
        bytes.push_back(static_cast<uint8_t>(u));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return versionNode(key, true, bytes, units.size() + 1, {});
}

} // namespace

std::vector<uint16_t> versionNumbers(const std::string& text) {
    std::vector<uint16_t> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? dot : dot - start);
        if (part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoul(part) > 65535) {
            return {};
        }
        parts.push_back(static_cast<uint16_t>(std::stoul(part)));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts.size() <= 4 ? parts : std::vector<uint16_t>();
}

Bytes buildVersionInfo(const ResourceRequest& r) {
    std::string version = r.appVersion.value_or("1.0");
    std::vector<uint16_t> numbers = versionNumbers(version);
    numbers.resize(4, 0);
    std::string stem = r.fileName.substr(0, r.fileName.rfind('.'));
    std::string name = r.name.value_or(stem);

    Bytes fixed(52, 0);
    uint32_t high = uint32_t(numbers[0]) << 16 | numbers[1];
    uint32_t low = uint32_t(numbers[2]) << 16 | numbers[3];
    const uint32_t fields[13] = {0xFEEF04BD,
                                 0x00010000,
                                 high,
                                 low,
                                 high,
                                 low,
                                 0x3F,
                                 0,
                                 0x00040004 /* VOS_NT_WINDOWS32 */,
                                 1 /* VFT_APP */,
                                 0,
                                 0,
                                 0};
    for (size_t i = 0; i < 13; ++i) {
        putLe32(&fixed[4 * i], fields[i]);
    }
    std::vector<Bytes> strings;
    auto add = [&](const char* key, const std::optional<std::string>& value) {
        if (value) {
            strings.push_back(stringNode(key, *value));
        }
    };
    add("CompanyName", r.vendor);
    add("FileDescription", r.description ? r.description : name);
    add("FileVersion", version);
    add("InternalName", stem);
    add("LegalCopyright", r.copyright);
    add("OriginalFilename", r.fileName);
    add("ProductName", name);
    add("ProductVersion", version);
    Bytes table = versionNode("040904b0", true, {}, 0, strings);
    Bytes translation = {0x09, 0x04, 0xB0, 0x04}; // en-US, UTF-16
    Bytes var = versionNode("Translation", false, translation, 4, {});
    Bytes info = versionNode("VS_VERSION_INFO", false, fixed, 52,
                             {versionNode("StringFileInfo", true, {}, 0, {table}),
                              versionNode("VarFileInfo", true, {}, 0, {var})});

    return info;
}

namespace {

// Walks the nodes of a VS_VERSIONINFO block and collects its strings.
void walkStrings(const uint8_t* data, size_t size, int depth,
                 std::vector<std::pair<std::string, std::string>>& out) {
    size_t at = 0;
    while (depth < 4 && at + 6 <= size) {
        size_t length = le16(data + at), valueLength = le16(data + at + 2);
        bool text = le16(data + at + 4) == 1;
        if (length < 6 || length > size - at) {
            return;
        }
        std::u16string key;
        size_t p = at + 6;
        for (; p + 2 <= at + length && le16(data + p) != 0; p += 2) {
            key.push_back(static_cast<char16_t>(le16(data + p)));
        }
        p = at + alignUp(p + 2 - at, 4);
        size_t valueBytes = text ? 2 * valueLength : valueLength;
        if (depth == 3 && text && p + valueBytes <= at + length) {
            std::u16string value;
            for (size_t i = 0; i + 1 < valueLength; ++i) {
                value.push_back(static_cast<char16_t>(le16(data + p + 2 * i)));
            }
            out.emplace_back(utf8(key), utf8(value));
        }
        size_t children = at + alignUp(p + valueBytes - at, 4);
        if (children < at + length && utf8(key) != "VarFileInfo") {
            walkStrings(data + children, at + length - children, depth + 1, out);
        }
        at += alignUp(length, 4);
    }
}

} // namespace

std::vector<std::pair<std::string, std::string>> versionStrings(const Bytes& info) {
    std::vector<std::pair<std::string, std::string>> strings;
    walkStrings(info.data(), info.size(), 0, strings);
    return strings;
}

} // namespace tarnpack
