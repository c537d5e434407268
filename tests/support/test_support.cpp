#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace tarn::test {

TempDir::TempDir() {
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        path_ = base / ("tarn-test-" + std::to_string(random()));
        if (fs::create_directory(path_))
            break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::dir() const {
    std::string s = path_.string();
    return s + std::string(1, char(fs::path::preferred_separator));
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
    setEnv(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

std::string le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string emptyZip(const std::string& comment) {
    std::string eocd = "PK\x05\x06";
    eocd += std::string(16, '\0');
    eocd += char(comment.size() & 0xFF);
    eocd += char(comment.size() >> 8);
    return eocd + comment;
}

fs::path makeProbe(const fs::path& where, const std::string& configBytes,
                   const std::string& archive) {
    std::string image = readFile(TARN_CONFIG_PROBE);
    std::string zip = archive.empty() ? emptyZip() : archive;
    // The archive size excludes a comment after the end-of-central-directory record.
    size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
    uint32_t archiveSize = uint32_t(eocd + 22);
    size_t slot = image.find("TARNSLOT");
    EXPECT_NE(slot, std::string::npos);
    EXPECT_EQ(image.find("TARNSLOT", slot + 1), std::string::npos);
    image.replace(slot, 4, le32(archiveSize));
    std::string block = configBytes + std::string(1, '\0');
    image += block + le32(uint32_t(block.size())) + std::string(16, '\0') + zip;
    writeFile(where, image);
    fs::permissions(where, fs::perms::owner_all, fs::perm_options::add);
    return where;
}

} // namespace tarn::test
