// Files as tarnpack uses them: inputs read at offsets, and an output that only
// appears under its final name once it has been written completely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnpack {

// A failure reported to the user as one line; main() adds the "tarnpack: error:" prefix.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<uint8_t>;

// "role 'path'", e.g. "JAR 'app.jar'", so every message names the file it is about.
std::string describe(const std::string& role, const std::string& path);

class InputFile {
  public:
    // role names the file in messages ("JAR", "launcher", ...).
    InputFile(const std::string& path, const std::string& role);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    std::string name() const { return describe(role_, path_); }

    // Exactly count bytes at offset; throws when the file is shorter.
    Bytes read(uint64_t offset, size_t count) const;
    void readInto(uint64_t offset, uint8_t* out, size_t count) const;
    // The last min(count, size) bytes before end.
    Bytes readBefore(uint64_t end, size_t count) const;

  private:
    std::string path_;
    std::string role_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Written to a temporary file beside the target and renamed over it by commit();
// destroying an uncommitted OutputFile removes the temporary file.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const uint8_t* data, size_t count);
    void write(const Bytes& data) { write(data.data(), data.size()); }
    // Copies count bytes of in, starting at offset.
    void copyFrom(const InputFile& in, uint64_t offset, uint64_t count);
    void commit(unsigned mode);

  private:
    void fail(const std::string& what) const;

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
};

inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

} // namespace tarnpack
