// Linux locale, environment, libraries, single instance, child processes, interrupts.
#include "platform/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarn {
namespace platform {

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

} // namespace platform
} // namespace tarn
