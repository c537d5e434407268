#include "zip.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace tarnpack {

namespace {

constexpr uint8_t kEndSignature[4] = {'P', 'K', 5, 6};
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint64_t kCentralHeaderSize = 46;
constexpr uint64_t kLocalHeaderSize = 30;
// Largest comment the ZIP format can describe; bounds the deeper search that
// tells a too-long comment apart from a file that is no archive at all.
constexpr uint64_t kMaxZipComment = 65535;
// Signed JARs carry a digest per entry in the manifest, so allow plenty.
constexpr uint64_t kMaxManifestSize = 64ull << 20;
const char kManifestName[] = "META-INF/MANIFEST.MF";

// Offsets of end signatures in [end - 22 - reach, end - 22], nearest to end first.
std::vector<uint64_t> endSignatures(const InputFile& file, uint64_t end, uint64_t reach) {
    std::vector<uint64_t> found;
    if (end < kEndRecordSize) {
        return found;
    }
    Bytes tail = file.readBefore(end, static_cast<size_t>(reach + kEndRecordSize));
    uint64_t tailStart = end - tail.size();
    for (size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
        if (std::memcmp(&tail[i], kEndSignature, 4) == 0) {
            found.push_back(tailStart + i);
        }
    }
    return found;
}

std::string withThousands(uint64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

bool sameNameIgnoringCase(const uint8_t* name, size_t length, const char* wanted) {
    if (length != std::strlen(wanted)) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char a = static_cast<char>(name[i]);
        if (a >= 'a' && a <= 'z') {
            a = static_cast<char>(a - 'a' + 'A');
        }
        if (a != wanted[i]) {
            return false;
        }
    }
    return true;
}

Bytes inflateRaw(const Bytes& in, uint64_t expected, const std::string& what) {
    if (expected > kMaxManifestSize) {
        throw Error(what + " is too large (" + std::to_string(expected) + " bytes)");
    }
    Bytes out(static_cast<size_t>(expected));
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -15) != Z_OK) {
        throw Error(what + ": cannot start decompression");
    }
    // An empty input buffer still needs a valid pointer for zlib.
    static uint8_t none = 0;
    zs.next_in = in.empty() ? &none : const_cast<uint8_t*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.empty() ? &none : out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&zs, Z_FINISH);
    uint64_t produced = zs.total_out;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END || produced != expected) {
        throw Error(what + " is damaged (bad compressed data)");
    }
    return out;
}

} // namespace

std::optional<uint64_t> launcherEndSearch(const InputFile& file, uint64_t end) {
    std::vector<uint64_t> hits = endSignatures(file, end, kMaxArchiveComment);
    if (hits.empty()) {
        return std::nullopt;
    }
    return hits.front();
}

bool isCompleteEndRecord(const InputFile& file, uint64_t offset, uint64_t end) {
    if (offset + kEndRecordSize > end) {
        return false;
    }
    Bytes record = file.read(offset, kEndRecordSize);
    return offset + kEndRecordSize + le16(&record[20]) == end;
}

bool endsWithArchive(const InputFile& file) {
    for (uint64_t offset : endSignatures(file, file.size(), kMaxArchiveComment)) {
        if (isCompleteEndRecord(file, offset, file.size())) {
            return true;
        }
    }
    return false;
}

ArchiveLayout measureArchive(const InputFile& jar) {
    uint64_t size = jar.size();
    std::optional<uint64_t> hit = launcherEndSearch(jar, size);
    if (hit && isCompleteEndRecord(jar, *hit, size)) {
        ArchiveLayout layout;
        layout.endRecord = *hit;
        layout.archiveSize = *hit + kEndRecordSize;
        layout.commentSize = size - layout.archiveSize;
        if (layout.archiveSize > UINT32_MAX) {
            throw Error(jar.name() + " is too large: its archive of " +
                        std::to_string(layout.archiveSize) +
                        " bytes does not fit the 32-bit size slot");
        }
        return layout;
    }
    // The launcher would miss the real record; find out why, for the message.
    for (uint64_t offset : endSignatures(jar, size, kMaxZipComment)) {
        if (!isCompleteEndRecord(jar, offset, size)) {
            continue;
        }
        uint64_t comment = size - offset - kEndRecordSize;
        if (comment > kMaxArchiveComment) {
            throw Error(jar.name() + " has an archive comment of " + withThousands(comment) +
                        " bytes; at most " + withThousands(kMaxArchiveComment) + " are allowed");
        }
        throw Error(jar.name() + " has an archive comment containing a ZIP end-of-central-" +
                    "directory signature, which would hide the real one");
    }
    if (hit) {
        throw Error(jar.name() + " is damaged: its end-of-central-directory record does not " +
                    "match the file size");
    }
    throw Error(jar.name() + " is not a ZIP archive (no end-of-central-directory record)");
}

std::optional<std::string> manifestText(const InputFile& jar, const ArchiveLayout& layout) {
    const std::string what = jar.name() + ": " + kManifestName;
    const std::string damaged = jar.name() + " is damaged: ";
    Bytes end = jar.read(layout.endRecord, kEndRecordSize);
    uint64_t entries = le16(&end[10]);
    uint64_t centralSize = le32(&end[12]);
    uint64_t centralOffset = le32(&end[16]);
    if (centralSize > layout.endRecord || centralOffset > layout.endRecord - centralSize) {
        throw Error(damaged + "central directory out of range");
    }
    // Offsets inside the archive are relative to its first byte, which is not the
    // file's first byte when something was prepended to the archive.
    uint64_t centralStart = layout.endRecord - centralSize;
    uint64_t base = centralStart - centralOffset;
    Bytes central = jar.read(centralStart, static_cast<size_t>(centralSize));

    size_t pos = 0;
    for (uint64_t i = 0; i < entries && pos < central.size(); ++i) {
        if (central.size() - pos < kCentralHeaderSize || le32(&central[pos]) != kCentralSignature) {
            throw Error(damaged + "bad central directory entry");
        }
        const uint8_t* h = &central[pos];
        uint16_t method = le16(h + 10);
        uint32_t crc = le32(h + 16);
        uint64_t packedSize = le32(h + 20);
        uint64_t plainSize = le32(h + 24);
        size_t nameLength = le16(h + 28);
        size_t variable = nameLength + le16(h + 30) + le16(h + 32);
        uint64_t localOffset = le32(h + 42);
        if (central.size() - pos - kCentralHeaderSize < variable) {
            throw Error(damaged + "bad central directory entry");
        }
        if (!sameNameIgnoringCase(h + kCentralHeaderSize, nameLength, kManifestName)) {
            pos += kCentralHeaderSize + variable;
            continue;
        }

        if (localOffset > centralStart - base ||
            centralStart - base - localOffset < kLocalHeaderSize) {
            throw Error(what + " has a bad local header offset");
        }
        Bytes local = jar.read(base + localOffset, kLocalHeaderSize);
        if (le32(local.data()) != kLocalSignature) {
            throw Error(what + " has a bad local header");
        }
        uint64_t dataStart =
            base + localOffset + kLocalHeaderSize + le16(&local[26]) + le16(&local[28]);
        if (dataStart > centralStart || packedSize > centralStart - dataStart) {
            throw Error(what + " runs past the end of the archive");
        }
        Bytes packed = jar.read(dataStart, static_cast<size_t>(packedSize));
        Bytes plain;
        if (method == 0) {
            if (packedSize != plainSize) {
                throw Error(what + " has inconsistent sizes");
            }
            plain = std::move(packed);
        } else if (method == 8) {
            plain = inflateRaw(packed, plainSize, what);
        } else {
            throw Error(what + " uses unsupported compression method " + std::to_string(method));
        }
        uLong actual = crc32(0L, Z_NULL, 0);
        actual = crc32(actual, plain.data(), static_cast<uInt>(plain.size()));
        if (actual != crc) {
            throw Error(what + " is damaged (checksum mismatch)");
        }
        return std::string(plain.begin(), plain.end());
    }
    return std::nullopt;
}

std::optional<std::string> parseManifestAttribute(std::string_view text, const std::string& name) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    // Join continuation lines (a leading space continues the previous line) and
    // stop at the blank line that ends the main section.
    std::vector<std::string> headers;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t stop = text.find_first_of("\r\n", pos);
        if (stop == std::string_view::npos) {
            stop = text.size();
        }
        std::string_view line = text.substr(pos, stop - pos);
        pos = stop;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
        if (line.empty()) {
            break;
        }
        if (line[0] == ' ' && !headers.empty()) {
            headers.back().append(line.substr(1));
        } else {
            headers.emplace_back(line);
        }
    }
    std::string key = name + ":";
    for (char& c : key) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const std::string& header : headers) {
        if (header.size() < key.size()) {
            continue;
        }
        bool match = std::equal(key.begin(), key.end(), header.begin(), [](char a, char b) {
            return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
        });
        if (!match) {
            continue;
        }
        size_t first = header.find_first_not_of(" \t", key.size());
        if (first == std::string::npos) {
            return std::nullopt;
        }
        size_t last = header.find_last_not_of(" \t");
        return header.substr(first, last - first + 1);
    }
    return std::nullopt;
}

} // namespace tarnpack
