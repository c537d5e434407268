// Operating-system services the double needs, behind one portable interface.
#pragma once

#include <optional>
#include <string>

namespace fakejvm {

// Writes all bytes to the process's current standard output / error. The handle is
// looked up on every call so a launcher that redirects it (SetStdHandle, dup2) sees
// the records where it expects them.
void write_stdout(const std::string& bytes);
void write_stderr(const std::string& bytes);

// An environment variable as UTF-8, read from the live process environment.
std::optional<std::string> get_env(const char* name);

// Decodes option strings as a VM does: in the platform's charset (the ANSI code
// page on Windows, UTF-8 here on Linux).
std::u16string platform_to_utf16(const std::string& bytes);

// Ends the process with `status` after flushing C stdio, as a VM's exit does.
[[noreturn]] void exit_process(int status);

// Ends the process abnormally (status 134 on every platform; see platform.cpp).
[[noreturn]] void abort_process();

void sleep_ms(unsigned ms);

// Opaque id of the calling thread.
unsigned long long current_thread_id();

// The stack the calling thread reserved, in bytes (0 when unknown).
unsigned long long thread_stack_size();

// A plain mutex with static storage; the double's state is shared by all threads.
class Mutex {
  public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

  private:
    alignas(void*) unsigned char storage_[64];
};

class LockGuard {
  public:
    enum Adopt { adopt }; // takes over a mutex the caller has locked
    explicit LockGuard(Mutex& m) : m_(m) { m_.lock(); }
    LockGuard(Mutex& m, Adopt) : m_(m) {}
    ~LockGuard() { m_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Mutex& m_;
};

} // namespace fakejvm
