#include "support/test_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace tarn::test {

const bool onWindows = true;
const char* const exeSuffix = ".exe";

void setEnv(const char* name, const char* value) {
    _putenv((std::string(name) + "=" + (value ? value : "")).c_str());
}

std::string quoteArgument(const std::string& argument) {
    return "\"" + argument + "\"";
}

ProcessResult runCommand(const std::string& commandLine) {
    ProcessResult result;
    fflush(nullptr);
    // cmd.exe strips one pair of outer quotes from the whole line.
    FILE* pipe = _popen(("\"" + commandLine + "\"").c_str(), "rb");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    result.status = _pclose(pipe);
    // Children write text mode; compare lines as on every other platform.
    std::string lines;
    for (size_t i = 0; i < result.out.size(); ++i)
        if (!(result.out[i] == '\r' && i + 1 < result.out.size() && result.out[i + 1] == '\n'))
            lines += result.out[i];
    result.out = lines;
    return result;
}

bool writeMachineString(const std::string& keyPath, const std::string& name,
                        const std::string& value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void deleteMachineTree(const std::string& keyPath) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

bool childProcessesAreSlow() {
    return sizeof(void*) == 4;
}

} // namespace tarn::test
