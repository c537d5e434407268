// Linux side of the runtime search: links, library headers and the folders
// where distributions, SDKMAN and IDEs put runtimes. There is no registry.
#include "platform/platform.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace tarn {
namespace platform {

bool realPath(const char* path, ByteString& out) {
    char buffer[PATH_MAX];
    if (realpath(path, buffer) == nullptr)
        return false;
    out = ByteString(buffer);
    return true;
}

int32_t readFileHead(const char* path, unsigned char* buffer, int32_t size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t n = read(fd, buffer, size_t(size));
    close(fd);
    return n < 0 ? -1 : int32_t(n);
}

void runtimeFolders(StringList& parents, StringList& suffixes) {
    static const char* const system[] = {"/usr/lib/jvm/", "/usr/lib64/jvm/", "/usr/java/",
                                         "/usr/local/java/", "/opt/java/"};
    for (const char* folder : system) {
        parents.add(folder);
        suffixes.add("");
    }
    const char* home = getenv("HOME");
    const char* sdkman = getenv("SDKMAN_CANDIDATES_DIR");
    ByteString folder;
    if (sdkman != nullptr && *sdkman != 0) {
        folder = ByteString(sdkman);
        folder.append("/java/");
    } else if (home != nullptr && *home != 0) {
        folder = ByteString(home);
        folder.append("/.sdkman/candidates/java/");
    }
    if (!folder.isEmpty()) {
        parents.add(folder.cStr());
        suffixes.add("");
    }
    if (home != nullptr && *home != 0) {
        folder = ByteString(home);
        folder.append("/.jdks/");
        parents.add(folder.cStr());
        suffixes.add("");
    }
}

void* openRegistryKey(RegistryRoot, int, const char*) {
    return nullptr;
}

bool registrySubkey(void*, int32_t, ByteString&) {
    return false;
}

} // namespace platform
} // namespace tarn
