// Real files, real ZIP archives and a real tarnpack process for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tptest {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text);
std::string textOf(const Bytes& bytes);
Bytes concat(std::initializer_list<Bytes> parts);
Bytes le32(uint32_t value);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const; // names, sorted

  private:
    std::string path_;
};

void writeFile(const std::string& path, const Bytes& data);
Bytes readFile(const std::string& path);
bool exists(const std::string& path);

struct Result {
    int status = -1; // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the tarnpack under test (or exe) with args and collects its output.
Result tarnpack(const std::vector<std::string>& args);
Result runProgram(const std::string& exe, const std::vector<std::string>& args);

// Lines of text without their line ends.
std::vector<std::string> lines(const std::string& text);

// A stand-in launcher: ELF-looking bytes with the TARNSLOT marker once,
// `before` bytes in front of it and `after` behind it.
Bytes makeStub(size_t before = 300, size_t after = 200);
size_t slotOffset(const Bytes& stub);

struct ZipEntry {
    std::string name;
    Bytes data;
    bool deflate = false;
};
// A ZIP archive written byte by byte (deflated entries through zlib).
Bytes makeZip(const std::vector<ZipEntry>& entries, const Bytes& comment = {});
// A JAR whose manifest holds the given text (deflated), plus one class-like file.
Bytes makeJar(const std::string& manifest, bool deflate = true);

// Expected tarnpack output for stub, configuration bytes and JAR.
Bytes expectedOutput(const Bytes& stub, const Bytes& config, const Bytes& jar);

// UTF-16 encodings of ASCII/BMP text given in UTF-8, without byte-order mark.
Bytes utf16(const std::u16string& text, bool littleEndian);

// JDK tools, or "" when no JDK is installed.
std::string jdkTool(const std::string& name);

} // namespace tptest
