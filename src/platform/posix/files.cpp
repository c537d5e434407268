// Linux paths, file reading and mapping, directory enumeration, files kept between runs.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace tarn {
namespace platform {

bool executablePath(ByteString& out) {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return false;
    out = ByteString(buffer, int32_t(n));
    return true;
}

bool currentDirectory(ByteString& out) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr)
        return false;
    out = ByteString(buffer);
    return true;
}

bool setCurrentDirectory(const char* path) {
    return chdir(path) == 0;
}

// Like GetFullPathNameA: purely lexical, the path need not exist.
int32_t fullPathName(const char* path, char* buffer, int32_t size) {
    ByteString joined;
    if (path[0] != '/') {
        if (!currentDirectory(joined))
            return 0;
        joined.appendChar('/');
    }
    joined.append(path);
    ByteString result;
    const char* p = joined.cStr();
    while (*p) {
        while (*p == '/')
            ++p;
        const char* start = p;
        while (*p && *p != '/')
            ++p;
        int32_t n = int32_t(p - start);
        if (n == 0 || (n == 1 && start[0] == '.'))
            continue;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            int32_t slash = result.findLast('/');
            result.resize(slash < 0 ? 0 : slash);
            continue;
        }
        result.appendChar('/');
        result.append(start, n);
    }
    if (result.isEmpty())
        result.appendChar('/');
    if (result.length() < size)
        memcpy(buffer, result.cStr(), size_t(result.length()) + 1);
    return result.length();
}

bool pathExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

bool isDirectory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool canRead(const char* path) {
    return access(path, R_OK) == 0;
}

bool readWholeFile(const char* path, ByteBuffer& out) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < INT32_MAX;
    if (ok) {
        out.resize(int32_t(st.st_size));
        ssize_t n = out.length() ? read(fd, out.data(), size_t(out.length())) : 0;
        ok = n == out.length();
    }
    close(fd);
    if (!ok)
        out.resize(0);
    return ok;
}

bool mapFile(const char* path, MappedFile& out) {
    out = MappedFile();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    out.size = st.st_size;
    if (out.size > 0) {
        void* view = mmap(nullptr, size_t(out.size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            close(fd);
            out = MappedFile();
            return false;
        }
        out.data = static_cast<const unsigned char*>(view);
    }
    close(fd);
    return true;
}

void unmapFile(MappedFile& mapped) {
    if (mapped.data)
        munmap(const_cast<unsigned char*>(mapped.data), size_t(mapped.size));
    mapped = MappedFile();
}

bool openDirectory(DirectoryScan& scan, const char* directory) {
    DIR* dir = opendir(directory);
    if (dir == nullptr)
        return false;
    scan.handle = dir;
    scan.pattern = ByteString(directory);
    scan.pendingFirst = false;
    return true;
}

bool nextEntry(DirectoryScan& scan) {
    DIR* dir = static_cast<DIR*>(scan.handle);
    if (dir == nullptr)
        return false;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr)
        return false;
    scan.name = ByteString(entry->d_name);
    if (entry->d_type == DT_DIR) {
        scan.isDirectory = true;
    } else if (entry->d_type == DT_UNKNOWN) {
        // Some file systems do not fill d_type; lstat so that links stay links.
        ByteString full(scan.pattern);
        full.append(scan.name);
        struct stat st;
        scan.isDirectory = lstat(full.cStr(), &st) == 0 && S_ISDIR(st.st_mode);
    } else {
        scan.isDirectory = false;
    }
    return true;
}

void closeDirectory(DirectoryScan& scan) {
    if (scan.handle)
        closedir(static_cast<DIR*>(scan.handle));
    scan.handle = nullptr;
}

bool fileInfo(const char* path, FileInfo& out) {
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    out.size = st.st_size;
    out.modified = st.st_mtime;
    out.isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool renameFile(const char* from, const char* to) {
    return rename(from, to) == 0;
}

bool removeFile(const char* path) {
    return unlink(path) == 0;
}

int64_t currentTime() {
    return int64_t(time(nullptr));
}

FILE* openFile(const char* path, const char* mode) {
    return fopen(path, mode);
}

} // namespace platform
} // namespace tarn
