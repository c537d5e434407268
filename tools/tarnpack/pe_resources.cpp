#include "pe_resources.h"

#include "pe_image.h"
#include "resource_tree.h"
#include "version_info.h"

#include <algorithm>
#include <cctype>
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

void setVersion(Tree& tree, const ResourceRequest& request) {
    Leaf* current = firstLeaf(tree, kVersion);
    uint32_t language =
        current ? tree[ResName(kVersion)].begin()->second.begin()->first : kEnglishUs;
    tree.erase(ResName(kVersion));
    tree[ResName(kVersion)][ResName(1)][language] = Leaf{0, buildVersionInfo(request)};
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
    return readTree(&image[s.rawOffset], size, s.virtualAddress);
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
        for (const auto& [key, value] : versionStrings(version->data)) {
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
