#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace fakejvm_test {

namespace {

std::string exe_dir() {
#ifdef _WIN32
    char buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string p(buf, n);
    return p.substr(0, p.find_last_of("\\/"));
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    std::string p(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return p.substr(0, p.find_last_of('/'));
#endif
}

} // namespace

std::string native_path(const std::string& path) {
#ifdef _WIN32
    std::string p = path;
    if (!p.empty() && p[0] == '/') {
        p = "Z:" + p; // Wine maps the Unix root to drive Z:
    }
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return p;
#else
    return path;
#endif
}

void* load_library(const std::string& path, std::string* error) {
#ifdef _WIN32
    HMODULE h = LoadLibraryA(native_path(path).c_str());
    if (h == nullptr && error != nullptr) {
        *error = "LoadLibraryA error " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void*>(h);
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr && error != nullptr) {
        *error = dlerror();
    }
    return h;
#endif
}

void* find_symbol(void* library, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

std::string scratch_dir() {
#ifdef _WIN32
    std::string dir = exe_dir() + "\\fakejvm-scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
#else
    std::string dir = exe_dir() + "/fakejvm-scratch";
    mkdir(dir.c_str(), 0777);
#endif
    return dir;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

#ifdef _WIN32

Redirect::Redirect(int fd, const std::string& path) : fd_(fd) {
    std::fflush(nullptr);
    DWORD which = fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    saved_ = reinterpret_cast<long long>(GetStdHandle(which));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetStdHandle(which, h);
}

Redirect::~Redirect() {
    DWORD which = fd_ == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    HANDLE h = GetStdHandle(which);
    SetStdHandle(which, reinterpret_cast<HANDLE>(saved_));
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
}

void set_env(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    char buf[32768];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    had_ = n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old_.assign(buf, n < sizeof buf ? n : 0);
    set_env(name, value);
}

ScopedEnv::~ScopedEnv() {
    set_env(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

namespace {
DWORD WINAPI thread_main(LPVOID p) {
    auto* fn = static_cast<std::function<void()>*>(p);
    (*fn)();
    delete fn;
    return 0;
}

HANDLE spawn(std::function<void()> fn) {
    auto* heap_fn = new std::function<void()>(std::move(fn));
    return CreateThread(nullptr, 0, thread_main, heap_fn, 0, nullptr);
}
} // namespace

void run_on_thread(std::function<void()> fn) {
    HANDLE h = spawn(std::move(fn));
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}

void start_thread(std::function<void()> fn) {
    CloseHandle(spawn(std::move(fn)));
}

void sleep_ms(unsigned ms) {
    Sleep(ms);
}

#else

Redirect::Redirect(int fd, const std::string& path) : fd_(fd) {
    std::fflush(nullptr);
    saved_ = dup(fd);
    int f = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    dup2(f, fd);
    close(f);
}

Redirect::~Redirect() {
    dup2(static_cast<int>(saved_), fd_);
    close(static_cast<int>(saved_));
}

void set_env(const char* name, const char* value) {
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    set_env(name, value);
}

ScopedEnv::~ScopedEnv() {
    set_env(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

namespace {
void* thread_main(void* p) {
    auto* fn = static_cast<std::function<void()>*>(p);
    (*fn)();
    delete fn;
    return nullptr;
}

pthread_t spawn(std::function<void()> fn) {
    auto* heap_fn = new std::function<void()>(std::move(fn));
    pthread_t t;
    pthread_create(&t, nullptr, thread_main, heap_fn);
    return t;
}
} // namespace

void run_on_thread(std::function<void()> fn) {
    pthread_join(spawn(std::move(fn)), nullptr);
}

void start_thread(std::function<void()> fn) {
    pthread_detach(spawn(std::move(fn)));
}

void sleep_ms(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

#endif

} // namespace fakejvm_test
