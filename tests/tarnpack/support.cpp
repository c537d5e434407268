#include "support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace tptest {

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

namespace {
Bytes le16(uint16_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}
} // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tarnpack-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

Result runProgram(const std::string& exe, const std::vector<std::string>& args) {
    TempDir capture;
    std::string outPath = capture / "stdout";
    std::string errPath = capture / "stderr";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) {
            ::_exit(127);
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    Result run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = textOf(readFile(outPath));
    run.err = textOf(readFile(errPath));
    return run;
}

Result tarnpack(const std::vector<std::string>& args) {
    return runProgram(TARNPACK_EXE, args);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t stop = text.find('\n', pos);
        if (stop == std::string::npos) {
            stop = text.size();
        }
        out.push_back(text.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return out;
}

Bytes makeStub(size_t before, size_t after) {
    Bytes stub = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0};
    // Filler that cannot form the marker, "SLOT" or a ZIP signature.
    for (size_t i = stub.size(); i < before; ++i) {
        stub.push_back(static_cast<uint8_t>(0x80 | ((i * 37) & 0x7F)));
    }
    Bytes marker = bytesOf("TARNSLOT");
    stub.insert(stub.end(), marker.begin(), marker.end());
    for (size_t i = 0; i < after; ++i) {
        stub.push_back(static_cast<uint8_t>(i % 7 == 0 ? 0 : 0x90 + (i % 13)));
    }
    return stub;
}

size_t slotOffset(const Bytes& stub) {
    Bytes marker = bytesOf("TARNSLOT");
    auto it = std::search(stub.begin(), stub.end(), marker.begin(), marker.end());
    if (it == stub.end()) {
        throw std::runtime_error("stub has no marker");
    }
    return static_cast<size_t>(it - stub.begin());
}

namespace {

Bytes deflateRaw(const Bytes& data) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())));
    zs.next_in = const_cast<uint8_t*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

} // namespace

Bytes makeZip(const std::vector<ZipEntry>& entries, const Bytes& comment) {
    Bytes zip;
    Bytes central;
    for (const ZipEntry& entry : entries) {
        Bytes packed = entry.deflate ? deflateRaw(entry.data) : entry.data;
        uint32_t crc = static_cast<uint32_t>(
            crc32(crc32(0, Z_NULL, 0), entry.data.data(), static_cast<uInt>(entry.data.size())));
        uint16_t method = entry.deflate ? 8 : 0;
        Bytes name = bytesOf(entry.name);
        Bytes common = concat({le16(20), le16(0), le16(method), le16(0), le16(0x21), le32(crc),
                               le32(static_cast<uint32_t>(packed.size())),
                               le32(static_cast<uint32_t>(entry.data.size())),
                               le16(static_cast<uint16_t>(name.size())), le16(0)});
        central = concat({central, le32(0x02014b50), le16(20), common, le16(0), le16(0), le16(0),
                          le32(0), le32(static_cast<uint32_t>(zip.size())), name});
        zip = concat({zip, le32(0x04034b50), common, name, packed});
    }
    uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    uint16_t count = static_cast<uint16_t>(entries.size());
    return concat({zip, central, le32(0x06054b50), le16(0), le16(0), le16(count), le16(count),
                   le32(static_cast<uint32_t>(central.size())), le32(centralOffset),
                   le16(static_cast<uint16_t>(comment.size())), comment});
}

Bytes makeJar(const std::string& manifest, bool deflate) {
    return makeZip({{"META-INF/", {}, false},
                    {"META-INF/MANIFEST.MF", bytesOf(manifest), deflate},
                    {"com/example/Main.class", Bytes(300, 0xCA), true}});
}

Bytes expectedOutput(const Bytes& stub, const Bytes& config, const Bytes& jar) {
    // The archive ends 22 bytes after the last end signature; the rest is comment.
    size_t end = jar.size() - 22;
    while (!(jar[end] == 'P' && jar[end + 1] == 'K' && jar[end + 2] == 5 && jar[end + 3] == 6)) {
        --end;
    }
    uint32_t archiveSize = static_cast<uint32_t>(end + 22);
    Bytes patched = stub;
    Bytes size = le32(archiveSize);
    std::copy(size.begin(), size.end(), patched.begin() + static_cast<long>(slotOffset(stub)));
    Bytes block = concat({config, {0}});
    return concat({patched, block, le32(static_cast<uint32_t>(block.size())), Bytes(16, 0), jar});
}

Bytes utf16(const std::u16string& text, bool littleEndian) {
    Bytes out;
    for (char16_t unit : text) {
        uint8_t lo = static_cast<uint8_t>(unit);
        uint8_t hi = static_cast<uint8_t>(unit >> 8);
        out.push_back(littleEndian ? lo : hi);
        out.push_back(littleEndian ? hi : lo);
    }
    return out;
}

std::string jdkTool(const std::string& name) {
    std::string path = "/usr/lib/jvm/java-17-openjdk-amd64/bin/" + name;
    return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

} // namespace tptest
