// Process plumbing for the double's tests: loading libraries, redirecting the standard
// handles, environment variables and threads, on Windows and Linux alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace fakejvm_test {

// A path from the build system as the running platform spells it (under Wine a Unix
// path becomes Z:\...).
std::string native_path(const std::string& path);

// Loads a shared library; returns nullptr and fills `error` on failure.
void* load_library(const std::string& path, std::string* error = nullptr);
void* find_symbol(void* library, const char* name);

// A folder next to the test program for files that must outlive a death-test child.
std::string scratch_dir();

std::string read_file(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);

// Points the process's standard output (fd 1) or error (fd 2) at a fresh file for
// the object's lifetime; the double writes through the OS handle, so that is what
// moves.
class Redirect {
  public:
    Redirect(int fd, const std::string& path);
    ~Redirect();
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

  private:
    int fd_;
    long long saved_;
};

// Sets (or with nullptr removes) an environment variable for the object's lifetime.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool had_;
    std::string old_;
};

void set_env(const char* name, const char* value);

// Runs `fn` on a new thread and waits for it.
void run_on_thread(std::function<void()> fn);
// Runs `fn` on a new thread and returns at once.
void start_thread(std::function<void()> fn);

void sleep_ms(unsigned ms);

} // namespace fakejvm_test
