// The parts of a PE/COFF executable's headers that tarnpack reads or fixes.
#pragma once

#include "io.h"

#include <optional>
#include <string>
#include <vector>

namespace tarnpack {

constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;

struct PeSection {
    std::string name;
    size_t headerOffset = 0; // of this entry in the section table
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

struct PeHeaders {
    size_t optionalOffset = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    size_t directoriesOffset = 0;
    uint32_t directoryCount = 0;
    std::vector<PeSection> sections;

    size_t directoryOffset(unsigned index) const { return directoriesOffset + 8 * index; }
    size_t sizeOfInitializedDataOffset() const { return optionalOffset + 8; }
    size_t sizeOfImageOffset() const { return optionalOffset + 56; }
    size_t checksumOffset() const { return optionalOffset + 64; }
};

// Headers of the file starting with `image` (the whole file or just its first
// pages); nothing when it is no PE file or its headers do not fit.
std::optional<PeHeaders> readPeHeaders(const Bytes& image);

// The optional header's CheckSum: 16-bit one's-complement sum of the file (the
// checksum field counted as zero) plus its length. Fed the file in order, in
// pieces of any size.
class PeChecksum {
  public:
    void add(const uint8_t* data, size_t count);
    uint32_t value() const;

  private:
    uint64_t sum_ = 0;
    uint64_t length_ = 0;
};

inline void putLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace tarnpack
