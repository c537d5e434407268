// Linux implementation of the platform services.
#include "platform/platform.h"

#include "base/convert.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <wchar.h>

namespace tarn {
namespace platform {

const char classPathSeparator = ':';
const char* const classPathSplitChars = ";:";
const char* const runtimeLibraryName = "libjvm.so";
// A modern runtime home holds lib/server/libjvm.so, a Java 8 home jre/lib/amd64/server/.
const char* const runtimeSubPaths[] = {"", "lib/", "lib/amd64/", "jre/lib/amd64/", "../jre/lib/"};
const int runtimeSubPathCount = 5;
const int maxPath = PATH_MAX;
// The lock is a file named after the executable: keep well below NAME_MAX.
const int maxInstanceName = 200;
const int interruptSignal = SIGINT;
const int terminateSignal = SIGTERM;

void openClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int opened = open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

void setUserLocale() {
    setlocale(LC_ALL, "");
}

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

const char* getEnv(const char* name) {
    return getenv(name);
}

void putEnv(const char* assignment) {
    const char* eq = strchr(assignment, '=');
    if (eq == nullptr)
        return;
    ByteString name(assignment, int32_t(eq - assignment));
    if (eq[1] == 0)
        unsetenv(name.cStr());
    else
        setenv(name.cStr(), eq + 1, 1);
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

void disableErrorDialogs() {}

void* loadLibrary(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_GLOBAL);
}

void* librarySymbol(void* library, const char* name) {
    return dlsym(library, name);
}

void freeLibrary(void* library) {
    dlclose(library);
}

bool lastLoadErrorText(ByteString& out) {
    const char* text = dlerror();
    if (text == nullptr)
        return false;
    out = ByteString(text);
    return true;
}

void* openMachineKey(const char*) {
    return nullptr;
}
bool readKeyString(void*, const char*, char*, int32_t) {
    return false;
}
void closeKey(void*) {}

// ---- Resources: the string table is compiled in from res/tarn.rc ----------

struct StringBlock {
    int block;
    const unsigned char* data;
    int32_t size;
};
extern const StringBlock stringBlocks[];
extern const int stringBlockCount;

bool findStringBlock(int block, const unsigned char** data, int32_t* size) {
    for (int i = 0; i < stringBlockCount; ++i) {
        if (stringBlocks[i].block == block) {
            *data = stringBlocks[i].data;
            *size = stringBlocks[i].size;
            return true;
        }
    }
    return false;
}

// ---- Single instance: an flock the kernel drops when the process dies ------

// A folder that only this user can write to: another user can neither take our
// lock nor plant a file or a link in its place.
static bool isPrivateFolder(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

static int openPrivateFolder(const char* path) {
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && !isPrivateFolder(fd)) {
        close(fd);
        fd = -1;
        errno = EACCES;
    }
    return fd;
}

// $XDG_RUNTIME_DIR when it is a private folder, else /tmp/tarn-<uid>, made on
// first use; -1 with errno set when neither can be trusted.
static int lockFolder() {
    const char* runtimeDir = getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/') {
        int fd = openPrivateFolder(runtimeDir);
        if (fd >= 0)
            return fd;
    }
    char path[64];
    snprintf(path, sizeof path, "/tmp/tarn-%lu", (unsigned long)geteuid());
    if (mkdir(path, 0700) != 0 && errno != EEXIST)
        return -1;
    return openPrivateFolder(path);
}

InstanceLock acquireInstanceLock(const char* name, int* errorCode) {
    ByteString file(name);
    // The name holds the executable's path; its slashes cannot be in a file name.
    for (int32_t i = 0; i < file.length(); ++i)
        if (file[i] == '/')
            file[i] = '.';
    int folder = lockFolder();
    int fd = folder < 0 ? -1
                        : openat(folder, file.cStr(),
                                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        *errorCode = errno;
    if (folder >= 0)
        close(folder);
    if (fd < 0)
        return InstanceLock::failed;
    for (int waited = 0;; waited += 10) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return InstanceLock::acquired; // the descriptor stays open until exit
        if (errno != EWOULDBLOCK && errno != EINTR) {
            *errorCode = errno;
            close(fd);
            return InstanceLock::failed;
        }
        if (waited >= 100)
            break;
        usleep(10000);
    }
    close(fd);
    return InstanceLock::busy;
}

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

// ---- Interrupts: the handler only wakes a watcher thread ----------------------

static int wakePipe[2] = {-1, -1};
static InterruptHandler watchedHandlers[NSIG];

static void onSignal(int sig) {
    int savedErrno = errno;
    unsigned char byte = (unsigned char)sig;
    ssize_t ignored = write(wakePipe[1], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

static void* watchInterrupts(void*) {
    for (;;) {
        unsigned char sig;
        ssize_t n = read(wakePipe[0], &sig, 1);
        if (n == 1 && sig < NSIG && watchedHandlers[sig])
            watchedHandlers[sig](sig);
        else if (n < 0 && errno != EINTR)
            return nullptr;
    }
}

InterruptHandler installInterruptHandler(int sig, InterruptHandler handler) {
    if (sig <= 0 || sig >= NSIG)
        return nullptr;
    if (wakePipe[0] < 0) {
        if (pipe2(wakePipe, O_CLOEXEC) != 0)
            return nullptr;
        // The watcher must never take the signals itself.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        pthread_t thread;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_create(&thread, &attr, watchInterrupts, nullptr);
        pthread_attr_destroy(&attr);
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    struct sigaction action, previous;
    // As java does: what the process was started with ignoring (nohup, a
    // background job) stays ignored.
    if (sigaction(sig, nullptr, &previous) == 0 && !(previous.sa_flags & SA_SIGINFO) &&
        previous.sa_handler == SIG_IGN)
        return nullptr;
    watchedHandlers[sig] = handler;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(sig, &action, &previous) != 0)
        return nullptr;
    // A three-argument handler cannot be called as a plain one.
    if (previous.sa_flags & SA_SIGINFO)
        return nullptr;
    return previous.sa_handler;
}

// ---- Files kept between runs ---------------------------------------------------

const char* const javaLauncherName = "java";
const int64_t fileTimeTicksPerSecond = 1;

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

extern "C" char** environ;

int runQuietly(const char* program, const char* argument) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

char** commandArguments(int&, char** argv) {
    return argv; // bytes as the system passed them
}

FILE* openFile(const char* path, const char* mode) {
    return fopen(path, mode);
}

bool toCodePage(const char* text, ByteString& out) {
    out = ByteString(text);
    return true;
}

bool shortPathName(const char*, ByteString&) {
    return false;
}

} // namespace platform

WideString codePageToWide(const char* text, int32_t n) {
    return ansiToWide(text, n);
}

// The locale's multibyte charset stands in for the ANSI code page; wchar_t is
// 32-bit here, so characters above U+FFFF become surrogate pairs. A byte the
// charset cannot decode (any byte above 0x7F in the C locale) becomes U+FFFD and
// decoding goes on, so nothing after it is lost.
WideString ansiToWide(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    WideString out;
    out.resize(2 * n);
    char16_t* w = out.data();
    mbstate_t state;
    memset(&state, 0, sizeof state);
    int32_t i = 0;
    while (i < n && text[i] != 0) {
        wchar_t wc;
        size_t used = mbrtowc(&wc, text + i, size_t(n - i), &state);
        if (used == 0)
            break;
        unsigned long c = (unsigned long)wc;
        if (used == (size_t)-1 || used == (size_t)-2) {
            memset(&state, 0, sizeof state);
            used = used == (size_t)-2 ? size_t(n - i) : 1; // a cut sequence at the end
            c = 0xFFFD;
        }
        i += int32_t(used);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            *w++ = char16_t(0xD800 | (c >> 10));
            *w++ = char16_t(0xDC00 | (c & 0x3FF));
        } else {
            *w++ = char16_t(c < 0x10000 ? c : 0xFFFD);
        }
    }
    out.resize(int32_t(w - out.data()));
    return out;
}

ByteString wideToAnsi(const char16_t* units, int32_t n) {
    if (n < 0)
        n = countToZero(units);
    ByteString out;
    out.resize(4 * n + int32_t(MB_CUR_MAX));
    char* p = out.data();
    mbstate_t state;
    memset(&state, 0, sizeof state);
    for (int32_t i = 0; i < n && units[i] != 0; ++i) {
        unsigned long c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        size_t used = wcrtomb(p, wchar_t(c), &state);
        if (used == (size_t)-1) {
            // A character the charset cannot hold is marked, not the end of the text.
            memset(&state, 0, sizeof state);
            *p++ = '?';
            continue;
        }
        p += used;
    }
    out.resize(int32_t(p - out.data()));
    return out;
}

} // namespace tarn
