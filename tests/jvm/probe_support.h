// Running jvm_probe: each case gets a process of its own, since a process can
// create only one Java VM in its life.
#pragma once

#include "support/test_support.h"

#include <string>
#include <vector>

namespace tarn::test {

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
    bool has(const std::string& line) const; // out holds this exact line
};

// Runs the probe with args; standard error is captured apart from standard output.
ProbeRun runProbe(const std::vector<std::string>& args);

// A build path as the running platform spells it (Z:\... under Wine).
std::string nativePath(const std::string& path);

bool contains(const std::string& text, const std::string& part);
// Index of the first line equal to line, or -1.
int lineIndex(const std::string& text, const std::string& line);

// ---- Per platform (probe_posix.cpp, probe_win32.cpp) ----
// One argument quoted for the shell that runCommand uses, quotes inside kept.
std::string probeArgument(const std::string& argument);

// A probe in the background, so that a test can interrupt it.
class BackgroundProcess {
  public:
    BackgroundProcess() = default;
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // False where a single process cannot be sent a console interrupt from here.
    static bool supported();
    // Starts program with args; standard output and error both go to outputFile.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::string& outputFile);
    bool running();
    bool interrupt(); // SIGINT
    bool terminate(); // SIGTERM
    // Waits for the end; the exit status, or 128 + the signal that ended it.
    int wait();

  private:
    long long id_ = -1;
    int status_ = -1;
};

} // namespace tarn::test
