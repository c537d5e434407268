// Helpers for tests: temporary trees, files, environment and child processes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarn::test {

namespace fs = std::filesystem;

// A fresh directory, removed with everything below it at scope exit.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const fs::path& path() const { return path_; }
    // Path with a trailing separator, as the launcher writes directories.
    std::string dir() const;
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes);
std::string readFile(const fs::path& path);

// Sets (or with null, removes) an environment variable for the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

  private:
    std::string name_;
    bool had_;
    std::string old_;
};

// ---- Per platform (test_posix.cpp, test_win32.cpp) ----
extern const bool onWindows;
extern const char* const exeSuffix; // "" or ".exe"
// Sets, or with null removes, an environment variable.
void setEnv(const char* name, const char* value);
// Runs a command line through the shell; returns its exit status and stdout.
struct ProcessResult {
    int status = -1;
    std::string out;
};
ProcessResult runCommand(const std::string& commandLine);
std::string quoteArgument(const std::string& argument);
// Writes a string value under HKEY_LOCAL_MACHINE (false where there is no registry).
bool writeMachineString(const std::string& keyPath, const std::string& name,
                        const std::string& value);
void deleteMachineTree(const std::string& keyPath);
// True when 32-bit Windows processes start slowly here (Wine through qemu):
// tests that start child processes skip themselves there.
bool childProcessesAreSlow();

// Little-endian 32-bit value as 4 bytes.
std::string le32(uint32_t value);

// A copy of the config probe program with a trailer: the block (bytes then NUL),
// its length, 16 zero bytes and the archive; the slot is patched to the archive
// size. The archive defaults to an empty ZIP (an end-of-central-directory record).
fs::path makeProbe(const fs::path& where, const std::string& configBytes,
                   const std::string& archive = std::string());
std::string emptyZip(const std::string& comment = std::string());

} // namespace tarn::test
