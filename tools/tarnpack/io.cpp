#include "io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnpack {

std::string describe(const std::string& role, const std::string& path) {
    return role + " '" + path + "'";
}

InputFile::InputFile(const std::string& path, const std::string& role) : path_(path), role_(role) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        throw Error("cannot open " + name() + ": " + std::strerror(errno));
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        int e = errno;
        ::close(fd_);
        throw Error("cannot read " + name() + ": " + std::strerror(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Error(name() + " is not a regular file");
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InputFile::readInto(uint64_t offset, uint8_t* out, size_t count) const {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw Error("cannot read " + name() + ": " + std::strerror(errno));
        }
        if (n == 0) {
            // The file shrank under us, or a caller trusted a bad offset.
            throw Error("cannot read " + name() + ": unexpected end of file");
        }
        done += static_cast<size_t>(n);
    }
}

Bytes InputFile::read(uint64_t offset, size_t count) const {
    if (offset > size_ || count > size_ - offset) {
        throw Error("cannot read " + name() + ": unexpected end of file");
    }
    Bytes out(count);
    readInto(offset, out.data(), count);
    return out;
}

Bytes InputFile::readBefore(uint64_t end, size_t count) const {
    uint64_t start = end > count ? end - count : 0;
    return read(start, static_cast<size_t>(end - start));
}

namespace {

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    // Same directory as the target so the final rename cannot cross file systems.
    std::string dir = directoryOf(path);
    std::string pattern = (dir == "/" ? "" : dir) + "/." + baseNameOf(path) + ".tarnpack-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) {
        throw Error("cannot create output '" + path + "': " + std::strerror(errno));
    }
    tempPath_ = buf.data();
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_) {
        ::unlink(tempPath_.c_str());
    }
}

void OutputFile::fail(const std::string& what) const {
    throw Error("cannot write output '" + path_ + "': " + what);
}

void OutputFile::write(const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, data + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(n < 0 ? std::strerror(errno) : "nothing written");
        }
        done += static_cast<size_t>(n);
    }
}

void OutputFile::copyFrom(const InputFile& in, uint64_t offset, uint64_t count) {
    Bytes chunk(1 << 20);
    while (count > 0) {
        size_t n = count < chunk.size() ? static_cast<size_t>(count) : chunk.size();
        in.readInto(offset, chunk.data(), n);
        write(chunk.data(), n);
        offset += n;
        count -= n;
    }
}

void OutputFile::commit(unsigned mode) {
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) {
        fail(std::strerror(errno));
    }
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        fail(std::strerror(errno));
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        fail(std::strerror(errno));
    }
    committed_ = true;
}

} // namespace tarnpack
