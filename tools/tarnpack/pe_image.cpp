#include "pe_image.h"

namespace tarnpack {

std::optional<PeHeaders> readPeHeaders(const Bytes& image) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        return std::nullopt;
    }
    size_t pe = le32(&image[0x3C]);
    if (pe > image.size() || image.size() - pe < 24 + 2 || image[pe] != 'P' ||
        image[pe + 1] != 'E' || image[pe + 2] != 0 || image[pe + 3] != 0) {
        return std::nullopt;
    }
    PeHeaders h;
    size_t sectionCount = le16(&image[pe + 6]);
    size_t optionalSize = le16(&image[pe + 20]);
    h.optionalOffset = pe + 24;
    uint16_t magic = le16(&image[h.optionalOffset]);
    size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    size_t sectionTable = h.optionalOffset + optionalSize;
    if (directories == 0 || optionalSize < directories ||
        sectionTable + 40 * sectionCount > image.size()) {
        return std::nullopt;
    }
    h.sectionAlignment = le32(&image[h.optionalOffset + 32]);
    h.fileAlignment = le32(&image[h.optionalOffset + 36]);
    h.directoriesOffset = h.optionalOffset + directories;
    h.directoryCount = std::min<uint32_t>(le32(&image[h.directoriesOffset - 4]),
                                          static_cast<uint32_t>((optionalSize - directories) / 8));
    for (size_t i = 0; i < sectionCount; ++i) {
        const uint8_t* entry = &image[sectionTable + 40 * i];
        PeSection s;
        s.name.assign(reinterpret_cast<const char*>(entry), 8);
        s.name.resize(s.name.find('\0') == std::string::npos ? 8 : s.name.find('\0'));
        s.headerOffset = sectionTable + 40 * i;
        s.virtualSize = le32(entry + 8);
        s.virtualAddress = le32(entry + 12);
        s.rawSize = le32(entry + 16);
        s.rawOffset = le32(entry + 20);
        h.sections.push_back(s);
    }
    return h;
}

void PeChecksum::add(const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i, ++length_) {
        // Bytes at even offsets are the low halves of the 16-bit words.
        if (length_ & 1) {
            sum_ += uint64_t(data[i]) << 8;
            sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
        } else {
            sum_ += data[i];
        }
    }
}

uint32_t PeChecksum::value() const {
    uint64_t sum = sum_;
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>(sum + length_);
}

} // namespace tarnpack
