// Linux side of the per-user cache: folders, whole-file writes, renames.
#include "platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {
namespace platform {

bool userCacheDirectory(ByteString& out) {
    // The base directory rules ignore a relative XDG_CACHE_HOME.
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        out = ByteString(xdg);
        while (out.length() > 1 && out[out.length() - 1] == '/')
            out.resize(out.length() - 1);
        return true;
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == 0) {
        struct passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == 0)
        return false;
    out = ByteString(home);
    out.append("/.cache");
    return true;
}

bool makeDirectories(const char* path) {
    ByteString partial(path);
    char* p = partial.data();
    for (int32_t i = 1; i <= partial.length(); ++i) {
        if (i < partial.length() && p[i] != '/')
            continue;
        char saved = p[i];
        p[i] = 0;
        // 0700: a user's cache holds what their programs loaded; others need not see it.
        struct stat st;
        if (stat(p, &st) != 0 && mkdir(p, 0700) != 0 && errno != EEXIST)
            return false;
        p[i] = saved;
    }
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeNewFile(const char* path, const unsigned char* data, size_t size, uint32_t mode) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    while (ok && size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            data += n;
            size -= size_t(n);
        }
    }
    // Exact bits, whatever the umask: executables stay executable.
    ok = fchmod(fd, mode_t(mode & 07777)) == 0 && ok;
    ok = close(fd) == 0 && ok;
    return ok;
}

int64_t fileSize(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int64_t(st.st_size);
}

bool renameDirectory(const char* from, const char* to) {
    return rename(from, to) == 0;
}

void removeTree(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        unlink(path);
        return;
    }
    DIR* dir = opendir(path);
    if (dir != nullptr) {
        while (struct dirent* entry = readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            ByteString child(path);
            child.append("/");
            child.append(name);
            removeTree(child.cStr());
        }
        closedir(dir);
    }
    rmdir(path);
}

uint32_t processId() {
    return uint32_t(getpid());
}

bool processAlive(uint32_t id) {
    return kill(pid_t(id), 0) == 0 || errno != ESRCH;
}

} // namespace platform
} // namespace tarn
