// Packing a runtime folder: every file compressed on its own with raw DEFLATE
// (what a ZIP holds, so the size is that of `zip -9`, and the launcher needs
// only a small inflater), a table of names in front so that the launcher can
// check a cached copy without touching the data, and a SHA-256 of the content
// that names the cache folder.
#include "runtime_payload.h"

#include "progress.h"
#include "sha256.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

namespace fs = std::filesystem;

namespace tarnpack {

namespace {

const uint8_t kDescriptorMagic[4] = {'T', 'R', 'N', 'R'};
const uint8_t kPayloadMagic[8] = {'T', 'A', 'R', 'N', 'R', 'U', 'N', 'T'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 96;
constexpr size_t kEntryFixedSize = 36;
constexpr size_t kHashLength = 64;
// The launcher decodes each file in one block of memory.
constexpr uint64_t kMaxFileSize = 0x40000000;
// Guards against link cycles while following links.
constexpr int kMaxDepth = 64;

struct Source {
    std::string name; // '/'-separated, relative to the runtime folder
    fs::path path;
    bool directory = false;
    uint32_t mode = 0;
    uint64_t size = 0;
};

void putLe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint64_t le64(const uint8_t* p) {
    return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32;
}

// Links are followed: a runtime folder may link into /etc (Debian's JDKs do),
// and the copy must work on a machine without those files.
void collect(const fs::path& dir, const std::string& prefix, int depth, std::vector<Source>& out) {
    if (depth > kMaxDepth) {
        throw Error("runtime folder '" + dir.string() + "' nests too deep (a link cycle?)");
    }
    std::vector<fs::path> children;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        children.push_back(entry.path());
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        struct stat st;
        std::string name = prefix + child.filename().string();
        if (::stat(child.c_str(), &st) != 0) {
            std::cerr << "tarnpack: warning: skipping '" << child.string()
                      << "' (a link to nothing)\n";
            continue;
        }
        Source source{name, child, S_ISDIR(st.st_mode), static_cast<uint32_t>(st.st_mode & 07777),
                      0};
        if (source.directory) {
            out.push_back(source);
            collect(child, name + "/", depth + 1, out);
        } else if (S_ISREG(st.st_mode)) {
            source.size = static_cast<uint64_t>(st.st_size);
            if (source.size >= kMaxFileSize) {
                throw Error("runtime file '" + child.string() + "' is larger than 1 GiB");
            }
            out.push_back(source);
        }
    }
}

std::string libraryName(Machine target) {
    return target == Machine::linuxX64 ? "libjvm.so" : "jvm.dll";
}

void checkMachine(const std::string& dir, const std::vector<Source>& sources, Machine target) {
    std::string wanted = libraryName(target);
    bool found = false;
    for (const Source& source : sources) {
        if (source.directory || fs::path(source.name).filename() != wanted) {
            continue;
        }
        InputFile library(source.path.string(), "runtime library");
        Machine machine = imageMachine(library.read(0, std::min<uint64_t>(library.size(), 4096)));
        if (machine != target) {
            throw Error("runtime '" + dir + "' holds " + source.name + " for " +
                        machineName(machine) + ", but the launcher runs on " + machineName(target));
        }
        found = true;
    }
    if (!found) {
        throw Error("runtime '" + dir + "' has no " + wanted + " (a runtime for " +
                    machineName(target) + " is needed)");
    }
}

Bytes deflateRaw(const Bytes& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw Error("cannot start the compressor");
    }
    Bytes out(deflateBound(&stream, data.size()) + 64);
    stream.next_in = const_cast<uint8_t*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw Error("compression failed");
    }
    return out;
}

Bytes inflateRawZ(const uint8_t* data, size_t size, size_t expected) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        throw Error("cannot start the decompressor");
    }
    Bytes out(expected);
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw Error("the runtime payload is damaged");
    }
    return out;
}

std::string megabytes(uint64_t bytes) {
    return std::to_string((bytes + (1 << 19)) >> 20) + " MB";
}

} // namespace

std::string machineName(Machine machine) {
    switch (machine) {
    case Machine::linuxX64:
        return "x86-64 Linux";
    case Machine::windowsX86:
        return "32-bit x86 Windows";
    case Machine::windowsX64:
        return "x86-64 Windows";
    default:
        return "an unknown machine";
    }
}

Machine imageMachine(const Bytes& h) {
    if (h.size() >= 20 && std::memcmp(h.data(),
                                      "\x7f"
                                      "ELF",
                                      4) == 0) {
        return h[4] == 2 && le16(&h[18]) == 62 ? Machine::linuxX64 : Machine::unknown;
    }
    if (h.size() >= 64 && h[0] == 'M' && h[1] == 'Z') {
        uint32_t pe = le32(&h[60]);
        if (pe + 6 <= h.size() && std::memcmp(&h[pe], "PE\0\0", 4) == 0) {
            uint16_t machine = le16(&h[pe + 4]);
            return machine == 0x14c    ? Machine::windowsX86
                   : machine == 0x8664 ? Machine::windowsX64
                                       : Machine::unknown;
        }
    }
    return Machine::unknown;
}

RuntimePayload packRuntime(const std::string& dir, Machine target) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        throw Error("runtime '" + dir + "' is not a folder");
    }
    std::vector<Source> sources;
    collect(dir, "", 0, sources);
    checkMachine(dir, sources, target);

    RuntimePayload payload;
    uint64_t total = 0;
    for (const Source& source : sources) {
        total += source.size;
    }
    Bytes table, data;
    Sha256 hash;
    Progress progress;
    uint64_t done = 0;
    for (const Source& source : sources) {
        progress.show("compressing the runtime: " + megabytes(done) + " of " + megabytes(total));
        Bytes content;
        if (!source.directory) {
            InputFile file(source.path.string(), "runtime file");
            content = file.read(0, static_cast<size_t>(file.size()));
        }
        Bytes packed = source.directory ? Bytes() : deflateRaw(content);
        bool stored = packed.size() >= content.size();
        if (stored) {
            packed = content;
        }
        uint8_t fixed[kEntryFixedSize] = {};
        fixed[0] = source.directory ? 0 : 1;
        fixed[1] = stored ? 0 : 8;
        fixed[2] = static_cast<uint8_t>(source.name.size());
        fixed[3] = static_cast<uint8_t>(source.name.size() >> 8);
        putLe32(fixed + 4, source.mode);
        putLe32(fixed + 8,
                static_cast<uint32_t>(crc32(0, content.data(), static_cast<uInt>(content.size()))));
        putLe64(fixed + 12, content.size());
        putLe64(fixed + 20, packed.size());
        putLe64(fixed + 28, data.size()); // made absolute below, once the table size is known
        table.insert(table.end(), fixed, fixed + kEntryFixedSize);
        table.insert(table.end(), source.name.begin(), source.name.end());
        data.insert(data.end(), packed.begin(), packed.end());
        // The hash covers what is extracted: names, kinds, modes and bytes.
        hash.update(fixed, 1);
        hash.update(fixed + 4, 4);
        hash.update(fixed + 12, 8);
        hash.update(source.name.c_str(), source.name.size() + 1);
        hash.update(content.data(), content.size());
        done += source.size;
        payload.files += source.directory ? 0 : 1;
    }
    progress.done();
    payload.contentSize = total;
    payload.hash = hash.hexDigest();
    uint64_t dataStart = kHeaderSize + table.size();
    for (size_t at = 0; at < table.size();) {
        putLe64(&table[at + 28], le64(&table[at + 28]) + dataStart);
        at += kEntryFixedSize + le16(&table[at + 2]);
    }
    Bytes& out = payload.bytes;
    out.resize(kHeaderSize);
    std::memcpy(out.data(), kPayloadMagic, 8);
    std::memcpy(out.data() + 8, payload.hash.data(), kHashLength);
    putLe32(out.data() + 72, static_cast<uint32_t>(sources.size()));
    putLe32(out.data() + 76, static_cast<uint32_t>(table.size()));
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), data.begin(), data.end());
    return payload;
}

Bytes runtimeDescriptor(uint64_t payloadSize) {
    Bytes descriptor(16, 0);
    if (payloadSize > 0) {
        std::memcpy(descriptor.data(), kDescriptorMagic, 4);
        putLe32(descriptor.data() + 4, kFormatVersion);
        putLe64(descriptor.data() + 8, payloadSize);
    }
    return descriptor;
}

uint64_t payloadSizeOf(const Bytes& descriptor) {
    if (descriptor.size() != 16 || std::memcmp(descriptor.data(), kDescriptorMagic, 4) != 0 ||
        le32(descriptor.data() + 4) != kFormatVersion) {
        return 0;
    }
    return le64(descriptor.data() + 8);
}

void describeRuntime(const InputFile& file, uint64_t end, uint64_t size, std::ostream& out) {
    if (size < kHeaderSize || size > end) {
        out << "runtime:         DAMAGED (descriptor announces " << size << " bytes)\n";
        return;
    }
    uint64_t start = end - size;
    Bytes header = file.read(start, kHeaderSize);
    if (std::memcmp(header.data(), kPayloadMagic, 8) != 0) {
        out << "runtime:         DAMAGED (no payload header at offset " << start << ")\n";
        return;
    }
    uint32_t count = le32(&header[72]);
    uint32_t tableSize = le32(&header[76]);
    Bytes table = file.read(start + kHeaderSize, std::min<uint64_t>(tableSize, size - kHeaderSize));
    uint64_t files = 0, content = 0;
    std::string version = "unknown", machine = "unknown";
    for (size_t at = 0; at + kEntryFixedSize <= table.size();) {
        const uint8_t* e = &table[at];
        size_t nameLength = le16(e + 2);
        std::string name(reinterpret_cast<const char*>(e + kEntryFixedSize),
                         std::min(nameLength, table.size() - at - kEntryFixedSize));
        uint64_t length = le64(e + 12), packed = le64(e + 20), offset = le64(e + 28);
        std::string base = fs::path(name).filename().string();
        bool wanted = name == "release" || base == "libjvm.so" || base == "jvm.dll";
        if (e[0] == 1) {
            ++files;
            content += length;
        }
        if (e[0] == 1 && wanted && offset + packed <= size && length < kMaxFileSize) {
            Bytes raw = file.read(start + offset, static_cast<size_t>(packed));
            Bytes bytes = e[1] == 8 ? inflateRawZ(raw.data(), raw.size(), length) : raw;
            if (name == "release") {
                std::string text(bytes.begin(), bytes.end());
                size_t key = text.find("JAVA_VERSION=\"");
                if (key != std::string::npos) {
                    key += 14;
                    version = text.substr(key, text.find('"', key) - key);
                }
            } else {
                machine = machineName(imageMachine(bytes)) + " (" + name + ")";
            }
        }
        at += kEntryFixedSize + nameLength;
    }
    out << "runtime:         offset " << start << ", size " << size << ", format " << kFormatVersion
        << " (raw DEFLATE per file)\n"
        << "runtime hash:    " << std::string(header.begin() + 8, header.begin() + 72) << '\n'
        << "runtime content: " << count << " entries, " << files << " files, " << content
        << " bytes\n"
        << "runtime version: " << version << '\n'
        << "runtime machine: " << machine << '\n';
}

} // namespace tarnpack
