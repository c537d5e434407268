// Bytes from the fuzzer as a file that the code under test can open by path.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

// An in-memory file, rewritten for every input; path() names it.
class MemoryFile {
  public:
    MemoryFile() {
        fd_ = memfd_create("fuzz-input", 0);
        snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
    }
    ~MemoryFile() { close(fd_); }
    void write(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != ssize_t(size))
            __builtin_trap();
    }
    const char* path() const { return path_; }

  private:
    int fd_ = -1;
    char path_[64];
};

} // namespace fuzz
