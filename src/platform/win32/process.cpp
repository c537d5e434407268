// Windows locale, environment, libraries, single instance, child processes, interrupts.
#include "platform/platform.h"

#include "platform/win32/text.h"

#include <locale.h>
#include <signal.h>
#include <stdlib.h>

namespace tarn {
namespace platform {

// A missing standard handle is never handed to a file opened later.
void openClosedStandardStreams() {}

void setUserLocale() {
    setlocale(LC_ALL, "");
}

const char* getEnv(const char* name) {
    const wchar_t* value = _wgetenv(Wide(name));
    if (value == nullptr)
        return nullptr;
    // Callers keep the pointer as getenv's; the few values a run reads stay
    // allocated until the process ends.
    ByteString text = fromWide(value);
    return static_cast<const char*>(text.detach());
}

void putEnv(const char* assignment) {
    _wputenv(Wide(assignment));
}

void disableErrorDialogs() {
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

void* loadLibrary(const char* path) {
    // No DLL comes from the working directory, and the runtime's own folder is
    // searched first for its dependencies (the altered search order needs an
    // absolute path).
    SetDllDirectoryW(L"");
    WideString full;
    full.resize(32767);
    wchar_t* buffer = reinterpret_cast<wchar_t*>(full.data());
    DWORD n = GetFullPathNameW(Wide(path), 32768, buffer, nullptr);
    if (n == 0 || n >= 32768)
        return nullptr;
    return reinterpret_cast<void*>(LoadLibraryExW(buffer, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* librarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

bool lastLoadErrorText(ByteString& out) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0 || buffer == nullptr)
        return false;
    out = fromWide(buffer, int32_t(n));
    LocalFree(buffer);
    return true;
}

InstanceLock acquireInstanceLock(const char* name, int* errorCode) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(name));
    if (mutex == nullptr) {
        *errorCode = int(GetLastError());
        return InstanceLock::failed;
    }
    // Owned (or abandoned by an ended instance) means we run; the handle stays open.
    if (WaitForSingleObject(mutex, 100) == WAIT_TIMEOUT)
        return InstanceLock::busy;
    return InstanceLock::acquired;
}

// Console events instead of the C runtime's signal(), which resets the handler
// after each delivery: every Ctrl+C must count. Ctrl+C stands for SIGINT,
// closing the console for SIGTERM.
static InterruptHandler consoleHandlers[2];

static BOOL WINAPI onConsoleEvent(DWORD event) {
    int sig = event == CTRL_C_EVENT ? SIGINT : event == CTRL_CLOSE_EVENT ? SIGTERM : 0;
    InterruptHandler handler = sig == SIGINT    ? consoleHandlers[0]
                               : sig == SIGTERM ? consoleHandlers[1]
                                                : nullptr;
    if (handler == nullptr)
        return FALSE; // the next handler, in the end the system's, takes it
    handler(sig);
    return TRUE;
}

InterruptHandler installInterruptHandler(int sig, InterruptHandler handler) {
    if (sig != SIGINT && sig != SIGTERM)
        return nullptr;
    bool first = consoleHandlers[0] == nullptr && consoleHandlers[1] == nullptr;
    consoleHandlers[sig == SIGINT ? 0 : 1] = handler;
    // A Ctrl+C ignored since start (a process group of its own) never reaches
    // console handlers at all. Earlier handlers stay in the system's chain.
    if (first)
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    return nullptr;
}

int runQuietly(const char* program, const char* argument) {
    // Neither part may hold a quote: both are paths the launcher made.
    ByteString commandLine("\"");
    commandLine.append(program);
    commandLine.append("\" \"");
    commandLine.append(argument);
    commandLine.appendChar('"');
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process;
    Wide line(commandLine.cStr());
    BOOL started = CreateProcessW(Wide(program), line.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(status);
}

} // namespace platform
} // namespace tarn
