#include "resource_tree.h"

#include "pe_image.h"

#include <algorithm>

namespace tarnpack {

namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;

} // namespace

size_t alignUp(size_t value, size_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

// ---- Reading a resource section ----------------------------------------------

namespace {

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

} // namespace

static ResName readName(const Section& s, uint32_t field) {
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

template <class Visit> static void eachEntry(const Section& s, uint32_t directory, Visit visit) {
    size_t at = directory & ~kSubdirectory;
    size_t count = s.u16(at + 12) + s.u16(at + 14);
    s.need(at + 16, 8 * count);
    for (size_t i = 0; i < count; ++i) {
        visit(s.u32(at + 16 + 8 * i), s.u32(at + 20 + 8 * i));
    }
}

static void needSubdirectory(uint32_t target, bool wanted) {
    if (((target & kSubdirectory) != 0) != wanted) {
        throw Error("its resource section is damaged");
    }
}

static Tree readSectionTree(const Section& s) {
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

Tree readTree(const uint8_t* data, size_t size, uint32_t rva) {
    return readSectionTree(Section{data, size, rva});
}

} // namespace tarnpack
