#include "wrap.h"

#include "config_check.h"
#include "config_text.h"
#include "io.h"
#include "module_access.h"
#include "pe_image.h"
#include "pe_resources.h"
#include "runtime_payload.h"
#include "signing.h"
#include "zip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarnpack {

namespace {

const uint8_t kMarker[8] = {'T', 'A', 'R', 'N', 'S', 'L', 'O', 'T'};
constexpr uint64_t kReservedSize = 16;
constexpr uint64_t kLengthSize = 4;
// Real stubs are a few hundred KiB; anything far larger is the wrong file.
constexpr uint64_t kMaxLauncherSize = 256u << 20;

std::vector<size_t> findAll(const Bytes& haystack, const uint8_t* needle, size_t length,
                            size_t limit) {
    std::vector<size_t> found;
    auto end = haystack.begin() + static_cast<std::ptrdiff_t>(std::min(limit, haystack.size()));
    auto it = haystack.begin();
    while ((it = std::search(it, end, needle, needle + length)) != end) {
        found.push_back(static_cast<size_t>(it - haystack.begin()));
        ++it;
    }
    return found;
}

void refuseSameFile(const std::string& out, const std::string& input, const std::string& role) {
    std::error_code ec;
    if (fs::equivalent(out, input, ec) && !ec) {
        throw Error("output '" + out + "' is the same file as the " + describe(role, input));
    }
}

Bytes readConfig(const std::string& path) {
    InputFile file(path, "configuration");
    if (file.size() > kMaxConfigSize) {
        throw Error(file.name() + " is larger than 1 MiB");
    }
    Bytes config = file.read(0, static_cast<size_t>(file.size()));
    // The launcher drops NUL bytes, so text that holds them was saved in another
    // encoding than it claims (most often UTF-16 without a byte-order mark).
    if (std::optional<size_t> at = findNul(config)) {
        throw Error(file.name() + " holds a NUL character (offset " + std::to_string(*at) +
                    "): save it as UTF-8, or as UTF-16 with a byte-order mark");
    }
    return config;
}

Bytes readLauncher(const std::string& path) {
    InputFile file(path, "launcher");
    if (file.size() > kMaxLauncherSize) {
        throw Error(file.name() + " is too large to be a launcher stub");
    }
    if (endsWithArchive(file)) {
        throw Error(file.name() + " already carries an application archive " +
                    "(it is a wrapped program, not a bare launcher)");
    }
    // Its certificate table would end up inside the program, where the launcher
    // would take it for the end of its own content.
    if (findCertificateTable(file)) {
        throw Error(file.name() + " is signed: wrap the unsigned launcher, then sign the program");
    }
    Bytes stub = file.read(0, static_cast<size_t>(file.size()));
    size_t markers = findAll(stub, kMarker, sizeof kMarker, stub.size()).size();
    if (markers == 0) {
        throw Error(file.name() + " has no archive size slot (TARNSLOT marker); it is not a " +
                    "tarn launcher, or its slot was already patched");
    }
    if (markers > 1) {
        throw Error(file.name() + " has " + std::to_string(markers) +
                    " TARNSLOT markers; exactly one is needed");
    }
    return stub;
}

// Warnings on standard error, or one error naming every problem when strict.
void reportConfigProblems(const Bytes& config, const std::string& name, bool strict) {
    std::string all;
    for (const std::string& problem : checkConfig(config)) {
        if (!strict) {
            std::cerr << "tarnpack: warning: " << name << ' ' << problem << '\n';
        } else {
            all += (all.empty() ? "" : "\ntarnpack: error: ") + name + ' ' + problem;
        }
    }
    if (!all.empty()) {
        throw Error(all + " (--strict)");
    }
}

// A private folder for jlink's output, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "tarnpack-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw Error("cannot create a scratch folder in " + fs::temp_directory_path().string());
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

RuntimePayload embeddedRuntime(const PackRequest& request, const Bytes& stub, const Bytes& config) {
    Machine target =
        imageMachine(Bytes(stub.begin(), stub.begin() + std::min<size_t>(stub.size(), 4096)));
    if (target == Machine::unknown) {
        throw Error("cannot tell which machine launcher '" + request.launcher + "' runs on");
    }
    if (!request.jlink) {
        return packRuntime(*request.runtime, target);
    }
    JlinkRequest jlink = *request.jlink;
    jlink.windowsTarget = target != Machine::linuxX64;
    jlink.jars.insert(jlink.jars.begin(), request.jar);
    if (request.config) {
        std::vector<std::string> more =
            configuredJars(configToUtf8(config), fs::path(*request.config).parent_path().string());
        jlink.jars.insert(jlink.jars.end(), more.begin(), more.end());
    }
    ScratchDir scratch;
    std::string out = (scratch.path() / "runtime").string();
    buildRuntime(jlink, out);
    return packRuntime(out, target);
}

} // namespace

void pack(const PackRequest& request) {
    std::error_code ec;
    if (fs::is_directory(request.out, ec)) {
        throw Error("output '" + request.out + "' is a directory");
    }
    refuseSameFile(request.out, request.jar, "JAR");
    refuseSameFile(request.out, request.launcher, "launcher");
    if (request.config) {
        refuseSameFile(request.out, *request.config, "configuration");
    }

    // Every check happens before the output is created, so failures leave no trace.
    InputFile jar(request.jar, "JAR");
    ArchiveLayout layout = measureArchive(jar);
    if (isWrappedProgram(jar)) {
        throw Error(jar.name() + " is a program wrapped by tarnpack, not a JAR: pass the " +
                    "application's own JAR");
    }
    Bytes stub = readLauncher(request.launcher);
    if (request.resources.any()) {
        ResourceRequest resources = request.resources;
        resources.fileName = fs::path(request.out).filename().string();
        applyResources(stub, resources, describe("launcher", request.launcher));
    }
    Bytes config = request.config ? readConfig(*request.config) : Bytes();
    if (request.config) {
        reportConfigProblems(config, describe("configuration", *request.config), request.strict);
    }

    std::optional<std::string> manifest = manifestText(jar, layout);
    if (hasMainClassLine(config)) {
        if (request.mainClass) {
            config = addMainClassLine(config, *request.mainClass, true);
        }
    } else {
        std::optional<std::string> mainClass = request.mainClass;
        if (!mainClass && manifest) {
            mainClass = parseManifestMainClass(*manifest);
        }
        if (!mainClass) {
            throw Error("no main class: pass --main-class or add a Main-Class to the JAR manifest");
        }
        config = addMainClassLine(config, *mainClass, false);
    }
    // What `java -jar` takes from the manifest, for the launcher to apply at start.
    if (manifest) {
        for (const std::string& line : moduleAccessLines(*manifest)) {
            config = addConfigLine(config, line, false);
        }
    }
    if (config.size() > kMaxConfigSize) {
        throw Error("configuration is larger than 1 MiB");
    }

    size_t slot = findAll(stub, kMarker, sizeof kMarker, stub.size()).front();
    putLe32(&stub[slot], static_cast<uint32_t>(layout.archiveSize));

    Bytes trailer(config);
    trailer.push_back(0);
    uint8_t length[kLengthSize];
    putLe32(length, static_cast<uint32_t>(trailer.size()));
    trailer.insert(trailer.end(), length, length + kLengthSize);
    trailer.insert(trailer.end(), kReservedSize, 0);

    RuntimePayload runtime;
    if (request.runtime || request.jlink) {
        runtime = embeddedRuntime(request, stub, config);
    }
    Bytes descriptor = runtimeDescriptor(runtime.bytes.size());
    std::copy(descriptor.begin(), descriptor.end(), trailer.end() - kReservedSize);

    // A Windows program's checksum covers all of it, trailer and JAR included;
    // the linker's covered the bare stub only.
    if (std::optional<PeHeaders> pe = readPeHeaders(stub)) {
        size_t field = pe->checksumOffset();
        putLe32(&stub[field], 0);
        PeChecksum checksum;
        checksum.add(stub.data(), stub.size());
        checksum.add(runtime.bytes.data(), runtime.bytes.size());
        checksum.add(trailer.data(), trailer.size());
        Bytes chunk;
        for (uint64_t at = 0; at < jar.size(); at += chunk.size()) {
            chunk = jar.read(at, static_cast<size_t>(std::min<uint64_t>(jar.size() - at, 1 << 20)));
            checksum.add(chunk.data(), chunk.size());
        }
        putLe32(&stub[field], checksum.value());
    }

    OutputFile out(request.out);
    out.write(stub);
    out.write(runtime.bytes);
    out.write(trailer);
    out.copyFrom(jar, 0, jar.size());
    out.commit(0755);
}

namespace {

struct Trailer {
    uint64_t stubSize = 0;
    uint64_t blockOffset = 0;
    uint64_t blockLength = 0; // L, NUL included
    uint64_t archiveOffset = 0;
    uint64_t archiveEnd = 0;
};

// The trailer in front of an archive starting at archiveOffset, if it is plausible.
std::optional<Trailer> trailerBefore(const InputFile& file, uint64_t archiveOffset) {
    if (archiveOffset < kReservedSize + kLengthSize + 1) {
        return std::nullopt;
    }
    uint64_t lengthOffset = archiveOffset - kReservedSize - kLengthSize;
    Bytes length = file.read(lengthOffset, kLengthSize);
    uint64_t blockLength = le32(length.data());
    if (blockLength == 0 || blockLength > lengthOffset) {
        return std::nullopt;
    }
    if (file.read(lengthOffset - 1, 1)[0] != 0) {
        return std::nullopt;
    }
    Trailer trailer;
    trailer.blockOffset = lengthOffset - blockLength;
    trailer.stubSize = trailer.blockOffset;
    trailer.blockLength = blockLength;
    trailer.archiveOffset = archiveOffset;
    return trailer;
}

struct Slot {
    size_t offset;
    uint32_t value;
};

// Patched slots: "SLOT" preceded by something other than "TARN".
std::vector<Slot> patchedSlots(const Bytes& region) {
    static const uint8_t tail[4] = {'S', 'L', 'O', 'T'};
    std::vector<Slot> slots;
    for (size_t at : findAll(region, tail, sizeof tail, region.size())) {
        if (at >= 4 && std::memcmp(&region[at - 4], kMarker, 4) != 0) {
            slots.push_back({at - 4, le32(&region[at - 4])});
        }
    }
    return slots;
}

void printConfigText(const Bytes& config, std::ostream& out) {
    std::string text = configToUtf8(config);
    if (text.empty()) {
        out << "  (empty)\n";
        return;
    }
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out << "  " << line << '\n';
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            continue;
        }
        // Keep stray control bytes off the terminal.
        line += (static_cast<uint8_t>(c) < 0x20 && c != '\t') || c == 0x7F ? '?' : c;
    }
    if (!line.empty()) {
        out << "  " << line << '\n';
    }
}

// The trailer of a wrapped program; nothing, with the reason in why, when file
// is not one.
std::optional<Trailer> findTrailer(const InputFile& file, std::string& why) {
    // A signature appended after wrapping ends the program's own content.
    std::optional<uint64_t> endRecord = launcherEndSearch(file, contentEnd(file));
    if (!endRecord) {
        why = "no application archive at its end";
        return std::nullopt;
    }
    Bytes record = file.read(*endRecord, kEndRecordSize);
    uint64_t archiveEnd = *endRecord + kEndRecordSize;
    uint64_t centralSize = le32(&record[12]);
    uint64_t centralOffset = le32(&record[16]);

    // The central directory's offset is relative to the archive's first byte,
    // which tells where the archive, and so the trailer, starts.
    std::optional<Trailer> trailer;
    if (*endRecord >= centralSize + centralOffset) {
        trailer = trailerBefore(file, *endRecord - centralSize - centralOffset);
    }
    why = "no configuration block before the archive";
    if (!trailer) {
        // An archive with absolute offsets: try the sizes that patched slots hold.
        if (*endRecord > kMaxLauncherSize) {
            return std::nullopt;
        }
        Bytes front = file.read(0, static_cast<size_t>(*endRecord));
        for (const Slot& slot : patchedSlots(front)) {
            if (slot.value <= archiveEnd && !trailer) {
                trailer = trailerBefore(file, archiveEnd - slot.value);
            }
        }
    }
    if (trailer) {
        trailer->archiveEnd = archiveEnd;
    }
    return trailer;
}

} // namespace

bool isWrappedProgram(const InputFile& file) {
    // A JAR starts with a local file header; a wrapped program with its stub.
    static const uint8_t localHeader[4] = {'P', 'K', 3, 4};
    if (file.size() >= 4 && std::memcmp(file.read(0, 4).data(), localHeader, 4) == 0) {
        return false;
    }
    std::string why;
    return findTrailer(file, why).has_value();
}

void inspect(const std::string& path, std::ostream& out) {
    InputFile file(path, "file");
    std::string why;
    std::optional<Trailer> trailer = findTrailer(file, why);
    if (!trailer) {
        throw Error(file.name() + " is not a wrapped program (" + why + ")");
    }
    uint64_t end = contentEnd(file);
    uint64_t archiveEnd = trailer->archiveEnd;
    std::vector<Slot> slots;
    uint64_t archiveSize = archiveEnd - trailer->archiveOffset;

    Bytes reserved = file.read(trailer->archiveOffset - kReservedSize, kReservedSize);
    uint64_t runtimeSize = payloadSizeOf(reserved);
    if (runtimeSize > 0 && runtimeSize <= trailer->blockOffset) {
        trailer->stubSize = trailer->blockOffset - runtimeSize;
    }
    Bytes stub = file.read(0, static_cast<size_t>(std::min(trailer->stubSize, kMaxLauncherSize)));
    Bytes block = file.read(trailer->blockOffset, static_cast<size_t>(trailer->blockLength - 1));
    bool reservedZero =
        std::all_of(reserved.begin(), reserved.end(), [](uint8_t b) { return b == 0; });

    std::string slotText = "not found";
    slots = patchedSlots(stub);
    auto match = std::find_if(slots.begin(), slots.end(),
                              [&](const Slot& s) { return s.value == archiveSize; });
    if (match != slots.end()) {
        slotText = "matches (" + std::to_string(archiveSize) + ") at offset " +
                   std::to_string(match->offset);
    } else if (!slots.empty()) {
        slotText = "MISMATCH (holds " + std::to_string(slots.front().value) + ", archive is " +
                   std::to_string(archiveSize) + ")";
    } else if (!findAll(stub, kMarker, sizeof kMarker, stub.size()).empty()) {
        slotText =
            "MISMATCH (still holds TARNSLOT, archive is " + std::to_string(archiveSize) + ")";
    }

    out << "file:            " << path << " (" << file.size() << " bytes)\n"
        << "stub:            " << trailer->stubSize << " bytes\n"
        << "configuration:   offset " << trailer->blockOffset << ", length " << trailer->blockLength
        << " (" << block.size() << " bytes + NUL), " << encodingName(detectEncoding(block)) << '\n'
        << "reserved:        16 bytes, "
        << (runtimeSize > 0 ? "runtime descriptor"
            : reservedZero  ? "all zero"
                            : "NOT ZERO")
        << '\n'
        << "archive:         offset " << trailer->archiveOffset << ", size " << archiveSize << '\n'
        << "archive comment: " << (end - archiveEnd) << " bytes\n"
        << "slot:            " << slotText << '\n';
    if (readPeHeaders(stub)) {
        describeResources(stub, out);
        std::optional<CertificateTable> table = findCertificateTable(file);
        std::string signer =
            table ? signerSubject(file.read(table->offset, static_cast<size_t>(table->size))) : "";
        out << "signature:       "
            << (!table ? "none"
                       : "signed by " + (signer.empty() ? "(signer not readable)" : signer) +
                             "; certificate table at offset " + std::to_string(table->offset) +
                             ", " + std::to_string(table->size) + " bytes")
            << '\n';
    }
    if (runtimeSize > 0) {
        describeRuntime(file, trailer->blockOffset, runtimeSize, out);
    }
    out << "configuration text:\n";
    printConfigText(block, out);
}

std::string locateLauncher(const std::string& target, const std::string& argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        self = fs::absolute(argv0, ec);
    }
    fs::path dir = self.parent_path();
    // The windowless launcher sits beside the console one: win64-gui is win64/tarnw.exe.
    bool gui = target.size() > 4 && target.compare(target.size() - 4, 4, "-gui") == 0;
    std::string folder = gui ? target.substr(0, target.size() - 4) : target;
    std::string name = target == "linux-x64" ? "tarn" : gui ? "tarnw.exe" : "tarn.exe";
    const fs::path candidates[] = {
        (dir / ".." / folder / name).lexically_normal(),
        (dir / ".." / "lib" / "tarn" / folder / name).lexically_normal(),
    };
    for (const fs::path& candidate : candidates) {
        if (fs::is_regular_file(candidate, ec)) {
            return candidate.string();
        }
    }
    throw Error("no launcher for target " + target + ": looked for '" + candidates[0].string() +
                "' and '" + candidates[1].string() + "' (pass --launcher STUB)");
}

} // namespace tarnpack
