#include "pe_resources.h"

#include "pe_image.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace tarnpack {

namespace {

constexpr uint32_t kIcon = 3;
constexpr uint32_t kGroupIcon = 14;
constexpr uint32_t kVersion = 16;
constexpr uint32_t kManifest = 24;
constexpr uint32_t kEnglishUs = 0x0409;
constexpr uint32_t kUtf16CodePage = 1200;
constexpr uint32_t kSubdirectory = 0x80000000u;

// A resource type, name or language: a number, or a string when text is set.
struct ResName {
    std::u16string text;
    uint32_t id = 0;
    ResName(uint32_t id = 0) : id(id) {}
    // Named entries come before numbered ones in a resource directory.
    bool operator<(const ResName& other) const {
        if (text.empty() != other.text.empty()) {
            return !text.empty();
        }
        return text.empty() ? id < other.id : text < other.text;
    }
};
struct Leaf {
    uint32_t codePage = 0;
    Bytes data;
};
using Languages = std::map<uint32_t, Leaf>;
using Names = std::map<ResName, Languages>;
using Tree = std::map<ResName, Names>;

size_t alignUp(size_t value, size_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

// ---- Reading a resource section ----------------------------------------------

struct Section {
    const uint8_t* data;
    size_t size;
    uint32_t rva;

    void need(size_t offset, size_t count) const {
        if (offset > size || count > size - offset) {
            throw Error("its resource section is damaged");
        }
    }
    uint32_t u16(size_t offset) const { return need(offset, 2), le16(data + offset); }
    uint32_t u32(size_t offset) const { return need(offset, 4), le32(data + offset); }
};

ResName readName(const Section& s, uint32_t field) {
    if (!(field & kSubdirectory)) {
        return ResName(field);
    }
    size_t at = field & ~kSubdirectory;
    size_t length = s.u16(at);
    s.need(at + 2, 2 * length);
    ResName name;
    for (size_t i = 0; i < length; ++i) {
        name.text.push_back(static_cast<char16_t>(le16(s.data + at + 2 + 2 * i)));
    }
    return name;
}

template <class Visit> void eachEntry(const Section& s, uint32_t directory, Visit visit) {
    size_t at = directory & ~kSubdirectory;
    size_t count = s.u16(at + 12) + s.u16(at + 14);
    s.need(at + 16, 8 * count);
    for (size_t i = 0; i < count; ++i) {
        visit(s.u32(at + 16 + 8 * i), s.u32(at + 20 + 8 * i));
    }
}

void needSubdirectory(uint32_t target, bool wanted) {
    if (((target & kSubdirectory) != 0) != wanted) {
        throw Error("its resource section is damaged");
    }
}

Tree readTree(const Section& s) {
    Tree tree;
    eachEntry(s, 0, [&](uint32_t type, uint32_t typeTarget) {
        needSubdirectory(typeTarget, true);
        Names& names = tree[readName(s, type)];
        eachEntry(s, typeTarget, [&](uint32_t name, uint32_t nameTarget) {
            needSubdirectory(nameTarget, true);
            Languages& languages = names[readName(s, name)];
            eachEntry(s, nameTarget, [&](uint32_t language, uint32_t entry) {
                needSubdirectory(entry, false);
                uint32_t rva = s.u32(entry), size = s.u32(entry + 4);
                if (rva < s.rva) {
                    throw Error("its resource section is damaged");
                }
                s.need(rva - s.rva, size);
                const uint8_t* data = s.data + (rva - s.rva);
                languages[language] = Leaf{s.u32(entry + 8), Bytes(data, data + size)};
            });
        });
    });
    return tree;
}

// ---- Writing one -------------------------------------------------------------

// Directories first, then name strings, data entries and the data itself; data
// entries hold addresses, so the section's own address goes in.
Bytes writeTree(const Tree& tree, uint32_t rva) {
    size_t directories = 16 + 8 * tree.size(), strings = 0, leaves = 0;
    auto countName = [&](const ResName& n) {
        strings += n.text.empty() ? 0 : 2 + 2 * n.text.size();
    };
    for (const auto& [type, names] : tree) {
        countName(type);
        directories += 16 + 8 * names.size();
        for (const auto& [name, languages] : names) {
            countName(name);
            directories += 16 + 8 * languages.size();
            leaves += languages.size();
        }
    }
    size_t entries = alignUp(directories + strings, 8);
    Bytes out(alignUp(entries + 16 * leaves, 8), 0);
    size_t nextDirectory = 0, nextString = directories, nextEntry = entries;

    auto nameField = [&](const ResName& n) -> uint32_t {
        if (n.text.empty()) {
            return n.id;
        }
        size_t at = nextString;
        putLe16(&out[at], static_cast<uint16_t>(n.text.size()));
        for (size_t i = 0; i < n.text.size(); ++i) {
            putLe16(&out[at + 2 + 2 * i], n.text[i]);
        }
        nextString += 2 + 2 * n.text.size();
        return kSubdirectory | static_cast<uint32_t>(at);
    };
    // Reserves a directory of `count` entries whose first `named` have names.
    auto directory = [&](size_t named, size_t count) {
        size_t at = nextDirectory;
        putLe16(&out[at + 12], static_cast<uint16_t>(named));
        putLe16(&out[at + 14], static_cast<uint16_t>(count - named));
        nextDirectory += 16 + 8 * count;
        return at;
    };
    auto setEntry = [&](size_t dir, size_t index, uint32_t name, uint32_t target) {
        putLe32(&out[dir + 16 + 8 * index], name);
        putLe32(&out[dir + 20 + 8 * index], target);
    };
    auto namedCount = [](const auto& map) {
        return static_cast<size_t>(std::count_if(
            map.begin(), map.end(), [](const auto& e) { return !ResName(e.first).text.empty(); }));
    };

    size_t root = directory(namedCount(tree), tree.size());
    size_t t = 0;
    for (const auto& [type, names] : tree) {
        size_t typeDir = directory(namedCount(names), names.size());
        setEntry(root, t++, nameField(type), kSubdirectory | static_cast<uint32_t>(typeDir));
        size_t n = 0;
        for (const auto& [name, languages] : names) {
            size_t nameDir = directory(0, languages.size());
            setEntry(typeDir, n++, nameField(name), kSubdirectory | static_cast<uint32_t>(nameDir));
            size_t l = 0;
            for (const auto& [language, leaf] : languages) {
                size_t entry = nextEntry;
                nextEntry += 16;
                setEntry(nameDir, l++, language, static_cast<uint32_t>(entry));
                putLe32(&out[entry], rva + static_cast<uint32_t>(out.size()));
                putLe32(&out[entry + 4], static_cast<uint32_t>(leaf.data.size()));
                putLe32(&out[entry + 8], leaf.codePage);
                out.insert(out.end(), leaf.data.begin(), leaf.data.end());
                out.resize(alignUp(out.size(), 8), 0);
            }
        }
    }
    return out;
}

// ---- Text ------------------------------------------------------------------

std::u16string utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        uint8_t b = static_cast<uint8_t>(utf8[i]);
        size_t extra = b < 0x80         ? 0
                       : (b >> 5) == 6  ? 1
                       : (b >> 4) == 14 ? 2
                       : (b >> 3) == 30 ? 3
                                        : 9;
        uint32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool valid = extra <= 3 && i + extra < utf8.size() + (extra ? 0 : 1);
        for (size_t k = 1; valid && k <= extra; ++k) {
            uint8_t next = static_cast<uint8_t>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!valid || c > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Bytes readInput(const std::string& path, const std::string& role) {
    InputFile file(path, role);
    if (file.size() == 0 || file.size() > (16u << 20)) {
        throw Error(file.name() + (file.size() ? " is larger than 16 MiB" : " is empty"));
    }
    return file.read(0, static_cast<size_t>(file.size()));
}

// ---- Icon ------------------------------------------------------------------

// Every image of the .ico becomes an RT_ICON; the group lists them by number.
void replaceIcon(Tree& tree, const std::string& path) {
    Bytes ico = readInput(path, "icon");
    const std::string bad = describe("icon", path) + " is not a Windows .ico file";
    if (ico.size() < 6 || le16(&ico[0]) != 0 || le16(&ico[2]) != 1 || le16(&ico[4]) == 0) {
        throw Error(bad);
    }
    size_t count = le16(&ico[4]);
    if (6 + 16 * count > ico.size()) {
        throw Error(bad + " (its directory is cut short)");
    }
    ResName group(1);
    uint32_t language = kEnglishUs;
    auto groups = tree.find(ResName(kGroupIcon));
    if (groups != tree.end() && !groups->second.empty()) {
        group = groups->second.begin()->first;
        if (!groups->second.begin()->second.empty()) {
            language = groups->second.begin()->second.begin()->first;
        }
    }
    tree.erase(ResName(kIcon));
    tree.erase(ResName(kGroupIcon));
    Bytes directory(6 + 14 * count, 0);
    putLe16(&directory[2], 1);
    putLe16(&directory[4], static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = &ico[6 + 16 * i];
        uint64_t size = le32(entry + 8), offset = le32(entry + 12);
        if (size == 0 || offset > ico.size() || size > ico.size() - offset) {
            throw Error(bad + " (image " + std::to_string(i + 1) + " lies outside the file)");
        }
        tree[ResName(kIcon)][ResName(static_cast<uint32_t>(i + 1))][language] =
            Leaf{0, Bytes(ico.begin() + static_cast<long>(offset),
                          ico.begin() + static_cast<long>(offset + size))};
        std::memcpy(&directory[6 + 14 * i], entry, 12);
        putLe16(&directory[6 + 14 * i + 12], static_cast<uint16_t>(i + 1));
    }
    tree[ResName(kGroupIcon)][group][language] = Leaf{0, directory};
}

// ---- Manifest ----------------------------------------------------------------

// The value of attribute `name` of the first element `element`: where it
// starts and how long it is; npos when there is none.
std::pair<size_t, size_t> attribute(const std::string& xml, const std::string& element,
                                    const std::string& name) {
    size_t at = xml.find("<" + element);
    size_t close = at == std::string::npos ? at : xml.find('>', at);
    if (close == std::string::npos) {
        return {std::string::npos, 0};
    }
    for (size_t pos = xml.find(name, at); pos < close; pos = xml.find(name, pos + 1)) {
        size_t eq = xml.find_first_not_of(" \t\r\n", pos + name.size());
        if (eq >= close || xml[eq] != '=' || std::isalnum(static_cast<uint8_t>(xml[pos - 1]))) {
            continue;
        }
        size_t quote = xml.find_first_not_of(" \t\r\n", eq + 1);
        if (quote < close && (xml[quote] == '"' || xml[quote] == '\'')) {
            size_t end = xml.find(xml[quote], quote + 1);
            if (end < close) {
                return {quote + 1, end - quote - 1};
            }
        }
    }
    return {std::string::npos, 0};
}

// The text inside the first element `element`, or "".
std::string elementText(const std::string& xml, const std::string& element) {
    size_t at = xml.find("<" + element);
    size_t open = at == std::string::npos ? at : xml.find('>', at);
    size_t end = open == std::string::npos ? open : xml.find('<', open);
    return end == std::string::npos ? "" : xml.substr(open + 1, end - open - 1);
}

Leaf* firstLeaf(Tree& tree, uint32_t type) {
    auto found = tree.find(ResName(type));
    if (found == tree.end() || found->second.empty() || found->second.begin()->second.empty()) {
        return nullptr;
    }
    return &found->second.begin()->second.begin()->second;
}

void setManifest(Tree& tree, const ResourceRequest& request, const std::string& stubName) {
    Leaf* current = firstLeaf(tree, kManifest);
    uint32_t language = current ? tree[ResName(kManifest)].begin()->second.begin()->first : 0;
    std::string xml;
    std::string source =
        request.manifest ? describe("manifest", *request.manifest) : "the manifest of " + stubName;
    if (request.manifest) {
        Bytes bytes = readInput(*request.manifest, "manifest");
        xml.assign(bytes.begin(), bytes.end());
        if (xml.find("<assembly") == std::string::npos) {
            throw Error(source + " is not an application manifest (no <assembly> element)");
        }
    } else if (current) {
        xml.assign(current->data.begin(), current->data.end());
    } else {
        throw Error(stubName + " has no manifest to ask for administrator rights in; pass "
                               "--manifest FILE");
    }
    if (request.admin) {
        auto [at, length] = attribute(xml, "requestedExecutionLevel", "level");
        if (at == std::string::npos) {
            throw Error(source + " has no requestedExecutionLevel to set for --admin");
        }
        xml.replace(at, length, "requireAdministrator");
    }
    tree.erase(ResName(kManifest));
    tree[ResName(kManifest)][ResName(1)][language] = Leaf{0, Bytes(xml.begin(), xml.end())};
}

// ---- Version information -------------------------------------------------------

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

void setVersion(Tree& tree, const ResourceRequest& r) {
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

    Leaf* current = firstLeaf(tree, kVersion);
    uint32_t language =
        current ? tree[ResName(kVersion)].begin()->second.begin()->first : kEnglishUs;
    tree.erase(ResName(kVersion));
    tree[ResName(kVersion)][ResName(1)][language] = Leaf{0, info};
}

// ---- Finding the section --------------------------------------------------------

struct Located {
    PeHeaders headers;
    size_t index = 0; // of the resource section
};

std::optional<Located> locateResources(const Bytes& image) {
    std::optional<PeHeaders> headers = readPeHeaders(image);
    if (!headers || headers->directoryCount <= kResourceDirectory) {
        return std::nullopt;
    }
    uint32_t rva = le32(&image[headers->directoryOffset(kResourceDirectory)]);
    for (size_t i = 0; rva != 0 && i < headers->sections.size(); ++i) {
        if (headers->sections[i].virtualAddress == rva) {
            return Located{*headers, i};
        }
    }
    return std::nullopt;
}

Tree readSection(const Bytes& image, const PeSection& s) {
    if (s.rawOffset > image.size()) {
        throw Error("its resource section lies outside the file");
    }
    size_t size = std::min<size_t>(
        {s.virtualSize ? s.virtualSize : s.rawSize, s.rawSize, image.size() - s.rawOffset});
    return readTree(Section{&image[s.rawOffset], size, s.virtualAddress});
}

// Walks the nodes of a VS_VERSIONINFO block and collects its strings.
void versionStrings(const uint8_t* data, size_t size, int depth,
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
            versionStrings(data + children, at + length - children, depth + 1, out);
        }
        at += alignUp(length, 4);
    }
}

} // namespace

bool isAppVersion(const std::string& text) {
    return !versionNumbers(text).empty();
}

void applyResources(Bytes& stub, const ResourceRequest& request, const std::string& stubName) {
    std::optional<Located> found = locateResources(stub);
    if (!found) {
        throw Error(stubName + " is not a Windows launcher with resources; --icon, --manifest, "
                               "--admin and the version options need a Windows target");
    }
    PeHeaders& h = found->headers;
    PeSection section = h.sections[found->index];
    // Only base relocations may follow the resources: nothing refers to them but
    // their directory entry, so they can move up behind the new resources.
    std::vector<PeSection> after;
    for (const PeSection& other : h.sections) {
        bool later = other.virtualAddress > section.virtualAddress;
        if (later && other.name != ".reloc") {
            throw Error(stubName + " cannot take new resources: section " + other.name +
                        " follows its resource section");
        }
        if (later) {
            after.push_back(other);
        }
    }
    std::sort(after.begin(), after.end(),
              [](const PeSection& a, const PeSection& b) { return a.rawOffset < b.rawOffset; });
    for (const PeSection& moved : after) {
        if (moved.rawOffset < section.rawOffset || moved.rawOffset > stub.size() ||
            moved.rawSize > stub.size() - moved.rawOffset) {
            throw Error(stubName + " cannot take new resources: its sections are out of order");
        }
    }
    if (h.directoryCount > kSecurityDirectory &&
        le32(&stub[h.directoryOffset(kSecurityDirectory)]) != 0) {
        throw Error(stubName + " is signed: wrap the unsigned launcher, then sign the program");
    }
    Tree tree;
    try {
        tree = readSection(stub, section);
    } catch (const Error& e) {
        throw Error(stubName + ": " + e.what());
    }
    if (request.changesIcon()) {
        replaceIcon(tree, *request.icon);
    }
    if (request.changesManifest()) {
        setManifest(tree, request, stubName);
    }
    if (request.changesVersion()) {
        setVersion(tree, request);
    }
    Bytes data = writeTree(tree, section.virtualAddress);
    uint32_t used = static_cast<uint32_t>(data.size());
    uint32_t raw = static_cast<uint32_t>(alignUp(used, h.fileAlignment));
    data.resize(raw, 0);
    std::vector<Bytes> movedData;
    for (const PeSection& moved : after) {
        movedData.emplace_back(stub.begin() + moved.rawOffset,
                               stub.begin() + moved.rawOffset + moved.rawSize);
    }
    stub.resize(section.rawOffset);
    stub.insert(stub.end(), data.begin(), data.end());
    putLe32(&stub[section.headerOffset + 8], used);
    putLe32(&stub[section.headerOffset + 16], raw);
    putLe32(&stub[h.directoryOffset(kResourceDirectory) + 4], used);
    uint32_t initialized = le32(&stub[h.sizeOfInitializedDataOffset()]);
    putLe32(&stub[h.sizeOfInitializedDataOffset()], initialized - section.rawSize + raw);

    uint32_t nextAddress =
        static_cast<uint32_t>(alignUp(section.virtualAddress + used, h.sectionAlignment));
    for (size_t i = 0; i < after.size(); ++i) {
        const PeSection& moved = after[i];
        uint32_t address = nextAddress;
        putLe32(&stub[moved.headerOffset + 12], address);
        putLe32(&stub[moved.headerOffset + 20], static_cast<uint32_t>(stub.size()));
        stub.insert(stub.end(), movedData[i].begin(), movedData[i].end());
        for (unsigned d = 0; d < h.directoryCount; ++d) {
            uint8_t* entry = &stub[h.directoryOffset(d)];
            uint32_t rva = le32(entry);
            if (d != kSecurityDirectory && rva >= moved.virtualAddress &&
                rva < moved.virtualAddress + std::max(moved.virtualSize, moved.rawSize)) {
                putLe32(entry, rva - moved.virtualAddress + address);
            }
        }
        nextAddress = static_cast<uint32_t>(
            alignUp(address + std::max(moved.virtualSize, 1u), h.sectionAlignment));
    }
    putLe32(&stub[h.sizeOfImageOffset()], nextAddress);
}

void describeResources(const Bytes& image, std::ostream& out) {
    std::optional<Located> found = locateResources(image);
    if (!found) {
        return;
    }
    Tree tree;
    try {
        tree = readSection(image, found->headers.sections[found->index]);
    } catch (const Error& e) {
        out << "resources:       damaged (" << e.what() << ")\n";
        return;
    }
    auto groups = tree.find(ResName(kGroupIcon));
    if (groups != tree.end()) {
        for (const auto& [name, languages] : groups->second) {
            for (const auto& [language, leaf] : languages) {
                std::string sizes;
                size_t count = leaf.data.size() >= 6 ? le16(&leaf.data[4]) : 0;
                for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= leaf.data.size(); ++i) {
                    const uint8_t* e = &leaf.data[6 + 14 * i];
                    sizes += (sizes.empty() ? "" : ", ") + std::to_string(e[0] ? e[0] : 256) + "x" +
                             std::to_string(e[1] ? e[1] : 256) + " " + std::to_string(le16(e + 6)) +
                             "-bit";
                }
                out << "icon:            " << sizes << '\n';
            }
        }
    }
    if (Leaf* version = firstLeaf(tree, kVersion)) {
        std::vector<std::pair<std::string, std::string>> strings;
        versionStrings(version->data.data(), version->data.size(), 0, strings);
        for (const auto& [key, value] : strings) {
            out << "version:         " << key << ": " << value << '\n';
        }
    }
    if (Leaf* manifest = firstLeaf(tree, kManifest)) {
        std::string xml(manifest->data.begin(), manifest->data.end());
        auto [at, length] = attribute(xml, "requestedExecutionLevel", "level");
        std::string level = at == std::string::npos ? "not set" : xml.substr(at, length);
        std::string dpi = elementText(xml, "dpiAwareness");
        std::string longPaths = elementText(xml, "longPathAware");
        out << "manifest:        " << xml.size() << " bytes, execution level " << level
            << ", DPI awareness " << (dpi.empty() ? "not set" : dpi) << ", long paths "
            << (longPaths.empty() ? "not set" : longPaths) << '\n';
    }
}

} // namespace tarnpack
