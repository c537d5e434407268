// Linux redirection of the standard streams, the text the VM prints, failure lines.
#include "platform/platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace tarn {
namespace platform {

// ---- Standard streams ---------------------------------------------------------

bool openAppendTarget(const char* path, StreamTarget& out) {
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    FILE* stream = fdopen(fd, "a");
    if (stream == nullptr) {
        close(fd);
        return false;
    }
    setbuf(stream, nullptr);
    out.handle = fd;
    out.stream = stream;
    out.isPipe = false;
    return true;
}

bool openPipeTarget(const char* command, StreamTarget& out) {
    fflush(nullptr); // the child must not inherit unwritten output
    FILE* stream = popen(command, "we");
    if (stream == nullptr)
        return false;
    out.handle = fileno(stream);
    out.stream = stream;
    out.isPipe = true;
    return true;
}

static int streamFd(StdStream which) {
    return which == StdStream::output ? 1 : 2;
}
static FILE* cStream(StdStream which) {
    return which == StdStream::output ? stdout : stderr;
}

intptr_t redirectStdStream(StdStream which, const StreamTarget& target) {
    fflush(cStream(which));
    int fd = streamFd(which);
    int saved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (dup2(int(target.handle), fd) < 0) {
        if (saved >= 0)
            close(saved);
        return -1;
    }
    // Unbuffered like the file itself, so lines interleave as they are written.
    if (!target.isPipe)
        setvbuf(cStream(which), nullptr, _IONBF, 0);
    return saved;
}

void restoreStdStream(StdStream which, intptr_t saved) {
    fflush(cStream(which));
    if (saved < 0)
        return;
    dup2(int(saved), streamFd(which));
    close(int(saved));
}

void closeTarget(StreamTarget& target) {
    if (target.stream) {
        // Waiting for the command keeps its output ahead of our exit.
        if (target.isPipe)
            pclose(target.stream);
        else
            fclose(target.stream);
    } else if (target.handle >= 0) {
        close(int(target.handle));
    }
    target = StreamTarget();
}

// ---- Text the VM prints ------------------------------------------------------

int formatText(char* buffer, int32_t size, const char* format, va_list args) {
    return vsnprintf(buffer, size_t(size), format, args);
}

void writeVmText(FILE* stream, const char* text, int32_t n) {
    // The same C library: the descriptor is the one the VM itself would write to.
    ssize_t ignored = write(fileno(stream), text, size_t(n));
    (void)ignored;
}

void reportError(const char* text) {
    fprintf(stderr, "%s\n", text);
}

} // namespace platform
} // namespace tarn
