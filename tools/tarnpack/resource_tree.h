// The resource tree of a PE file (type, name, language, data) and its section
// layout, read and written as tarnpack needs it.
#pragma once

#include "io.h"

#include <map>
#include <string>

namespace tarnpack {

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

size_t alignUp(size_t value, size_t alignment);

// The tree of a resource section whose bytes start at data and which is
// mapped at address rva. Throws Error when its structure is damaged.
Tree readTree(const uint8_t* data, size_t size, uint32_t rva);

// A resource section holding tree, for mapping at rva.
Bytes writeTree(const Tree& tree, uint32_t rva);

std::u16string utf16(const std::string& utf8);
std::string utf8(const std::u16string& text);

} // namespace tarnpack
