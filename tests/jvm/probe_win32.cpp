// A console interrupt cannot be aimed at one child process from here, and no
// Java runtime for Windows is installed: the real VM's interrupt test runs on
// Linux only (the fakejvm tests raise the interrupt inside the probe instead).
#include "jvm/probe_support.h"

namespace tarn::test {

// The C runtime's rules: a quote is escaped by a backslash, and backslashes only
// before a quote are doubled.
std::string probeArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

BackgroundProcess::~BackgroundProcess() {}
bool BackgroundProcess::supported() {
    return false;
}
bool BackgroundProcess::start(const std::string&, const std::vector<std::string>&,
                              const std::string&) {
    return false;
}
bool BackgroundProcess::running() {
    return false;
}
bool BackgroundProcess::interrupt() {
    return false;
}
bool BackgroundProcess::terminate() {
    return false;
}
int BackgroundProcess::wait() {
    return status_;
}

} // namespace tarn::test
