// Finding the embedded runtime payload and keeping its extracted copy.
//
// Payload (little-endian), just before the configuration block:
//   header   "TARNRUNT", 64 hex digits of SHA-256, entry count (4), table size (4), 20 zero
//   table    per entry: kind (1: 0 folder, 1 file), method (1: 0 stored, 8 deflate),
//            name length (2), mode (4), CRC-32 (4), size (8), packed size (8),
//            data offset from the payload start (8), then the '/'-separated name
//   data     each file's bytes, raw DEFLATE or stored
#include "cache/runtime_cache.h"

#include "base/trace.h"
#include "cache/inflate.h"
#include "config/launch_config.h"
#include "platform/platform.h"
#include "runtime/locator.h"

#include <stdlib.h>

namespace tarn {

namespace {

ByteString failedAt;
bool extractionFailed = false;

struct Payload {
    const unsigned char* data = nullptr;
    uint64_t size = 0;
    ByteString hash;
    uint32_t count = 0;
    const unsigned char* table = nullptr;
    uint32_t tableSize = 0;
};

struct Entry {
    int kind = 0;
    int method = 0;
    uint32_t mode = 0;
    uint32_t crc = 0;
    uint64_t size = 0;
    uint64_t packed = 0;
    const unsigned char* bytes = nullptr;
    ByteString name;
};

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t le64(const unsigned char* p) {
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

bool isHexDigest(const unsigned char* p) {
    for (int32_t i = 0; i < runtimeHashLength; ++i)
        if (!((p[i] >= '0' && p[i] <= '9') || (p[i] >= 'a' && p[i] <= 'f')))
            return false;
    return true;
}

// The descriptor sits in the reserved bytes after the configuration length;
// the payload ends where the configuration block starts.
bool findPayload(const unsigned char* file, int64_t size, int32_t trailerEnd, Payload& out) {
    if (file == nullptr || trailerEnd < 4 || int64_t(trailerEnd) + 16 > size)
        return false;
    const unsigned char* descriptor = file + trailerEnd;
    if (memcmp(descriptor, runtimeDescriptorMagic, 4) != 0 ||
        le32(descriptor + 4) != runtimePayloadVersion)
        return false;
    uint64_t length = le64(descriptor + 8);
    uint32_t blockLength = le32(file + trailerEnd - 4);
    if (blockLength > uint32_t(trailerEnd - 4))
        return false;
    uint64_t blockStart = uint64_t(trailerEnd) - 4 - blockLength;
    if (length < uint64_t(runtimeHeaderSize) || length > blockStart)
        return false;
    const unsigned char* p = file + (blockStart - length);
    if (memcmp(p, runtimePayloadMagic, 8) != 0 || !isHexDigest(p + 8))
        return false;
    out.data = p;
    out.size = length;
    out.hash = ByteString(reinterpret_cast<const char*>(p + 8), runtimeHashLength);
    out.count = le32(p + 72);
    out.tableSize = le32(p + 76);
    out.table = p + runtimeHeaderSize;
    return out.tableSize <= length - runtimeHeaderSize;
}

// A relative name with no empty, "." or ".." part and nothing a file system
// could read as a drive or another root.
bool isSafeName(const ByteString& name) {
    if (name.isEmpty() || name[0] == '/')
        return false;
    int32_t start = 0;
    for (int32_t i = 0; i <= name.length(); ++i) {
        char c = i < name.length() ? name[i] : '/';
        if (c == '\\' || c == ':' || c == 0)
            return false;
        if (c != '/')
            continue;
        int32_t n = i - start;
        const char* part = name.cStr() + start;
        if (n == 0 || (n == 1 && part[0] == '.') || (n == 2 && part[0] == '.' && part[1] == '.'))
            return false;
        start = i + 1;
    }
    return true;
}

bool readEntry(const Payload& payload, uint32_t& cursor, Entry& entry) {
    if (payload.tableSize - cursor < uint32_t(runtimeEntryFixedSize))
        return false;
    const unsigned char* p = payload.table + cursor;
    entry.kind = p[0];
    entry.method = p[1];
    uint32_t nameLength = uint32_t(p[2] | p[3] << 8);
    entry.mode = le32(p + 4);
    entry.crc = le32(p + 8);
    entry.size = le64(p + 12);
    entry.packed = le64(p + 20);
    uint64_t offset = le64(p + 28);
    cursor += runtimeEntryFixedSize;
    if (payload.tableSize - cursor < nameLength)
        return false;
    entry.name =
        ByteString(reinterpret_cast<const char*>(payload.table + cursor), int32_t(nameLength));
    cursor += nameLength;
    if (offset > payload.size || entry.packed > payload.size - offset)
        return false;
    entry.bytes = payload.data + offset;
    // Each file is decoded in one piece of memory.
    bool sizesFit = entry.size < 0x40000000u && entry.packed < 0x40000000u;
    return (entry.kind == 0 || entry.kind == 1) && (entry.method == 0 || entry.method == 8) &&
           sizesFit && isSafeName(entry.name);
}

ByteString childPath(const ByteString& folder, const ByteString& name) {
    ByteString path(folder);
    path.append("/");
    path.append(name);
    return path;
}

// Cheap enough for every start: the marker and one size query per file.
bool isComplete(const ByteString& folder, const Payload& payload) {
    if (platform::fileSize(childPath(folder, ByteString(runtimeMarkerName)).cStr()) < 0)
        return false;
    uint32_t cursor = 0;
    Entry entry;
    for (uint32_t i = 0; i < payload.count; ++i) {
        if (!readEntry(payload, cursor, entry))
            return false;
        if (entry.kind == 1 &&
            platform::fileSize(childPath(folder, entry.name).cStr()) != int64_t(entry.size))
            return false;
    }
    return true;
}

bool writeFileEntry(const ByteString& path, const Entry& entry, ByteBuffer& buffer) {
    const unsigned char* bytes = entry.bytes;
    if (entry.method == 8) {
        buffer.resize(int32_t(entry.size));
        unsigned char* out = reinterpret_cast<unsigned char*>(buffer.data());
        if (!inflateRaw(entry.bytes, size_t(entry.packed), out, size_t(entry.size))) {
            trace("embedded runtime: %s is damaged in this program", entry.name.cStr());
            return false;
        }
        bytes = out;
    } else if (entry.packed != entry.size) {
        return false;
    }
    if (crc32Update(0, bytes, size_t(entry.size)) != entry.crc) {
        trace("embedded runtime: %s fails its CRC-32 check", entry.name.cStr());
        return false;
    }
    if (!platform::writeNewFile(path.cStr(), bytes, size_t(entry.size), entry.mode)) {
        trace("embedded runtime: cannot write %s", path.cStr());
        return false;
    }
    return true;
}

bool writeEntries(const ByteString& folder, const Payload& payload) {
    ByteBuffer buffer;
    uint32_t cursor = 0;
    Entry entry;
    for (uint32_t i = 0; i < payload.count; ++i) {
        if (!readEntry(payload, cursor, entry))
            return false;
        ByteString path = childPath(folder, entry.name);
        bool ok = entry.kind == 0 ? platform::makeDirectories(path.cStr())
                                  : writeFileEntry(path, entry, buffer);
        if (!ok)
            return false;
    }
    ByteString marker = childPath(folder, ByteString(runtimeMarkerName));
    return platform::writeNewFile(marker.cStr(),
                                  reinterpret_cast<const unsigned char*>(payload.hash.cStr()),
                                  size_t(payload.hash.length()), 0644);
}

ByteString siblingName(const ByteString& folder, const char* kind) {
    char digits[12];
    int n = 0;
    uint32_t id = platform::processId();
    do {
        digits[n++] = char('0' + id % 10);
        id /= 10;
    } while (id != 0);
    ByteString name(folder);
    name.appendChar('.');
    name.append(kind);
    name.appendChar('-');
    while (n > 0)
        name.appendChar(digits[--n]);
    return name;
}

// Private copies of starts that were killed: <hash>.part-<pid> and
// <hash>.old-<pid> whose process is gone.
void removeLeftovers(const ByteString& root, const ByteString& hash) {
    platform::DirectoryScan scan;
    ByteString directory(root);
    directory.append("/");
    if (!platform::openDirectory(scan, directory.cStr()))
        return;
    while (platform::nextEntry(scan)) {
        const char* name = scan.name.cStr();
        if (scan.name.length() <= hash.length() || memcmp(name, hash.cStr(), size_t(hash.length())))
            continue;
        const char* dash = strchr(name + hash.length(), '-');
        if (dash == nullptr || dash[1] < '0' || dash[1] > '9')
            continue;
        uint32_t id = uint32_t(strtoul(dash + 1, nullptr, 10));
        if (id != platform::processId() && !platform::processAlive(id))
            platform::removeTree(childPath(root, scan.name).cStr());
    }
    platform::closeDirectory(scan);
}

// The copy is made under a name of this process's own and renamed into place
// only when complete; a damaged folder in the way is first moved aside.
bool extract(const ByteString& root, const ByteString& folder, const Payload& payload) {
    if (!platform::makeDirectories(root.cStr())) {
        trace("embedded runtime: cannot create %s", root.cStr());
        return false;
    }
    removeLeftovers(root, payload.hash);
    ByteString part = siblingName(folder, "part");
    platform::removeTree(part.cStr());
    if (!platform::makeDirectories(part.cStr()) || !writeEntries(part, payload)) {
        platform::removeTree(part.cStr());
        return false;
    }
    if (platform::renameDirectory(part.cStr(), folder.cStr()))
        return true;
    if (isComplete(folder, payload)) {
        trace("embedded runtime: another start extracted it first");
        platform::removeTree(part.cStr());
        return true;
    }
    ByteString old = siblingName(folder, "old");
    platform::removeTree(old.cStr());
    platform::renameDirectory(folder.cStr(), old.cStr());
    bool placed = platform::renameDirectory(part.cStr(), folder.cStr());
    platform::removeTree(placed ? old.cStr() : part.cStr());
    return placed || isComplete(folder, payload);
}

} // namespace

ByteString EmbeddedRuntime::locate(LaunchConfig& config) {
    ByteString exe = config.exePath();
    platform::MappedFile image;
    if (exe.isEmpty() || !platform::mapFile(exe.cStr(), image))
        return ByteString("", 0);
    Payload payload;
    if (!findPayload(image.data, image.size, config.trailerEnd(), payload)) {
        platform::unmapFile(image);
        trace("embedded runtime: none in this program");
        return ByteString("", 0);
    }
    ByteString root;
    bool haveCache = platform::userCacheDirectory(root);
    root.append(haveCache ? "/tarn/runtimes" : "tarn/runtimes");
    ByteString folder = childPath(root, payload.hash);
    bool ready = haveCache && isComplete(folder, payload);
    if (ready) {
        trace("embedded runtime: using %s", folder.cStr());
    } else {
        trace("embedded runtime: extracting %u entries to %s", unsigned(payload.count),
              folder.cStr());
        ready = haveCache && extract(root, folder, payload);
    }
    platform::unmapFile(image);
    if (!ready) {
        extractionFailed = true;
        failedAt = folder;
        return ByteString("", 0);
    }
    return RuntimeLocator::probeDirectory(config, folder.cStr());
}

const ByteString* EmbeddedRuntime::failedFolder() {
    return extractionFailed ? &failedAt : nullptr;
}

} // namespace tarn
