#include "platform.h"

#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <pthread.h>
#include <time.h>
#include <unistd.h>
#endif

namespace fakejvm {

#ifdef _WIN32

namespace {
void write_handle(DWORD which, const std::string& bytes) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        return; // a GUI process without standard handles: output goes nowhere
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD done = 0;
        if (!WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr) || done == 0) {
            return;
        }
        p += done;
        left -= done;
    }
}
} // namespace

void write_stdout(const std::string& bytes) {
    write_handle(STD_OUTPUT_HANDLE, bytes);
}
void write_stderr(const std::string& bytes) {
    write_handle(STD_ERROR_HANDLE, bytes);
}

std::u16string platform_to_utf16(const std::string& bytes) {
    if (bytes.empty()) {
        return std::u16string();
    }
    int n =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(&out[0]), n);
    return out;
}

std::optional<std::string> get_env(const char* name) {
    // The process environment block, not the CRT's copy: a launcher that calls
    // SetEnvironmentVariableW must be seen.
    std::u16string wname;
    for (const char* p = name; *p; ++p) {
        wname.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    }
    const wchar_t* wn = reinterpret_cast<const wchar_t*>(wname.c_str());
    SetLastError(ERROR_SUCCESS);
    DWORD need = GetEnvironmentVariableW(wn, nullptr, 0);
    if (need == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        return std::string();
    }
    std::u16string value(need, u'\0');
    DWORD got = GetEnvironmentVariableW(wn, reinterpret_cast<wchar_t*>(&value[0]), need);
    value.resize(got);
    return utf16_to_utf8(value);
}

void exit_process(int status) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(status));
}

void abort_process() {
    std::fflush(nullptr);
    // Not abort(): in a GUI-subsystem launcher the CRT's abort shows a message box,
    // which would hang an unattended test. 134 matches a SIGABRT death in a shell.
    TerminateProcess(GetCurrentProcess(), 134);
    ExitProcess(134);
}

void sleep_ms(unsigned ms) {
    Sleep(ms);
}

unsigned long long current_thread_id() {
    return GetCurrentThreadId();
}

static_assert(sizeof(SRWLOCK) <= 64, "SRWLOCK must fit Mutex storage");

Mutex::Mutex() {
    new (storage_) SRWLOCK(SRWLOCK_INIT);
}
Mutex::~Mutex() = default;
void Mutex::lock() {
    AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage_));
}
void Mutex::unlock() {
    ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage_));
}

unsigned long long thread_stack_size() {
    // The reservation holding this frame: every region sharing its allocation base.
    MEMORY_BASIC_INFORMATION region{};
    int here = 0;
    if (VirtualQuery(&here, &region, sizeof region) == 0) {
        return 0;
    }
    void* base = region.AllocationBase;
    const char* at = static_cast<const char*>(base);
    unsigned long long size = 0;
    while (VirtualQuery(at, &region, sizeof region) != 0 && region.AllocationBase == base) {
        size += region.RegionSize;
        at += region.RegionSize;
    }
    return size;
}

#else

namespace {
void write_fd(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}
} // namespace

void write_stdout(const std::string& bytes) {
    write_fd(1, bytes);
}
void write_stderr(const std::string& bytes) {
    write_fd(2, bytes);
}

std::u16string platform_to_utf16(const std::string& bytes) {
    return utf8_to_utf16(bytes);
}

std::optional<std::string> get_env(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr) {
        return std::nullopt;
    }
    return std::string(v);
}

void exit_process(int status) {
    std::fflush(nullptr);
    _exit(status);
}

void abort_process() {
    std::fflush(nullptr);
    std::abort();
}

void sleep_ms(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

unsigned long long current_thread_id() {
    static_assert(sizeof(pthread_t) <= sizeof(unsigned long long), "pthread_t must fit");
    return static_cast<unsigned long long>(pthread_self());
}

static_assert(sizeof(pthread_mutex_t) <= 64, "pthread_mutex_t must fit Mutex storage");

Mutex::Mutex() {
    new (storage_) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
}
Mutex::~Mutex() = default;
void Mutex::lock() {
    pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_));
}
void Mutex::unlock() {
    pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_));
}

unsigned long long thread_stack_size() {
    pthread_attr_t attr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
    }
    return size;
}

#endif

} // namespace fakejvm
