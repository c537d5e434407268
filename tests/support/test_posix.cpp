#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace tarn::test {

const bool onWindows = false;
const char* const exeSuffix = "";

void setEnv(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

std::string quoteArgument(const std::string& argument) {
    std::string quoted = "'";
    for (char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ProcessResult runCommand(const std::string& commandLine) {
    ProcessResult result;
    fflush(nullptr);
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool writeMachineString(const std::string&, const std::string&, const std::string&) {
    return false;
}
void deleteMachineTree(const std::string&) {}
bool childProcessesAreSlow() {
    return false;
}

} // namespace tarn::test
