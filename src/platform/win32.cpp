// Windows implementation of the platform services.
#include "platform/platform.h"

#include "platform/win32_text.h"

#include <fcntl.h>
#include <io.h>
#include <locale.h>
#include <signal.h>
#include <stdlib.h>

namespace tarn {
namespace platform {

const char classPathSeparator = ';';
const char* const classPathSplitChars = ";";
const char* const runtimeLibraryName = "jvm.dll";
const char* const runtimeSubPaths[] = {"", "bin\\", "jre\\bin\\", "..\\jre\\bin\\"};
const int runtimeSubPathCount = 4;
// MAX_PATH UTF-16 units take at most three UTF-8 bytes each.
const int maxPath = 3 * MAX_PATH;
// CreateMutexA refuses names of MAX_PATH characters or more.
const int maxInstanceName = MAX_PATH - 1;
const int interruptSignal = SIGINT;
const int terminateSignal = SIGTERM;

// A missing standard handle is never handed to a file opened later.
void openClosedStandardStreams() {}

void setUserLocale() {
    setlocale(LC_ALL, "");
}

bool executablePath(ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

bool currentDirectory(ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

bool setCurrentDirectory(const char* path) {
    return SetCurrentDirectoryW(Wide(path)) != 0;
}

int32_t fullPathName(const char* path, char* buffer, int32_t size) {
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(Wide(path), MAX_PATH, full, nullptr);
    if (n == 0)
        return 0;
    if (n >= MAX_PATH)
        return size;
    ByteString text = fromWide(full, int32_t(n));
    if (text.length() < size)
        memcpy(buffer, text.cStr(), size_t(text.length()) + 1);
    return text.length();
}

bool pathExists(const char* path) {
    return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const char* path) {
    DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool canRead(const char* path) {
    return _waccess(Wide(path), 4) == 0;
}

bool readWholeFile(const char* path, ByteBuffer& out) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size < 0x7FFFFFFF;
    if (ok) {
        out.resize(int32_t(size));
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, out.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    if (!ok)
        out.resize(0);
    return ok;
}

bool mapFile(const char* path, MappedFile& out) {
    out = MappedFile();
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return false;
    }
    out.file = file;
    out.size = size.QuadPart;
    if (out.size == 0)
        return true;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        if (mapping)
            CloseHandle(mapping);
        CloseHandle(file);
        out = MappedFile();
        return false;
    }
    out.mapping = mapping;
    out.data = static_cast<const unsigned char*>(view);
    return true;
}

void unmapFile(MappedFile& mapped) {
    if (mapped.data)
        UnmapViewOfFile(mapped.data);
    if (mapped.mapping)
        CloseHandle(mapped.mapping);
    if (mapped.file)
        CloseHandle(mapped.file);
    mapped = MappedFile();
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

bool openDirectory(DirectoryScan& scan, const char* directory) {
    scan.pattern = ByteString(directory);
    scan.pattern.append("*.*");
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(Wide(scan.pattern.cStr()), &found);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    scan.handle = handle;
    scan.name = fromWide(found.cFileName);
    scan.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    scan.pendingFirst = true;
    return true;
}

bool nextEntry(DirectoryScan& scan) {
    if (scan.handle == nullptr)
        return false;
    if (scan.pendingFirst) {
        scan.pendingFirst = false;
        return true;
    }
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(scan.handle, &found))
        return false;
    scan.name = fromWide(found.cFileName);
    scan.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

void closeDirectory(DirectoryScan& scan) {
    if (scan.handle)
        FindClose(scan.handle);
    scan.handle = nullptr;
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

void* openMachineKey(const char* path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool readKeyString(void* key, const char* value, char* buffer, int32_t size) {
    // Read as UTF-16, so a path the ANSI code page cannot spell arrives whole.
    wchar_t units[1024];
    DWORD bytes = sizeof units - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(static_cast<HKEY>(key), Wide(value), nullptr, &type,
                         reinterpret_cast<BYTE*>(units), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size <= 0)
        return false;
    // Registry strings need not carry their terminator.
    units[bytes / sizeof(wchar_t)] = 0;
    ByteString text = fromWide(units);
    int32_t n = text.length() < size ? text.length() : size - 1;
    memcpy(buffer, text.cStr(), size_t(n));
    buffer[n] = 0;
    return true;
}

void closeKey(void* key) {
    if (key)
        RegCloseKey(static_cast<HKEY>(key));
}

bool findStringBlock(int block, const unsigned char** data, int32_t* size) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(block), MAKEINTRESOURCEA(6));
    if (resource == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (locked == nullptr)
        return false;
    *data = static_cast<const unsigned char*>(locked);
    *size = int32_t(SizeofResource(nullptr, resource));
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

bool openAppendTarget(const char* path, StreamTarget& out) {
    HANDLE file =
        // Append-only access: every write lands at the end of the file, even when
        // another process or the other stream writes to it too.
        CreateFileW(Wide(path), FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    SetFilePointer(file, 0, nullptr, FILE_END);
    int fd = _open_osfhandle(intptr_t(file), _O_WRONLY | _O_APPEND | _O_TEXT);
    FILE* stream = fd >= 0 ? _fdopen(fd, "a") : nullptr;
    if (stream == nullptr) {
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(file);
        return false;
    }
    setbuf(stream, nullptr);
    out.handle = intptr_t(file);
    out.stream = stream;
    out.isPipe = false;
    return true;
}

bool openPipeTarget(const char* command, StreamTarget& out) {
    fflush(nullptr);
    FILE* stream = _wpopen(Wide(command), L"w");
    if (stream == nullptr)
        return false;
    out.handle = _get_osfhandle(_fileno(stream));
    out.stream = stream;
    out.isPipe = true;
    return true;
}

// The C runtime's descriptors 1 and 2 as they were before redirection.
static int savedDescriptors[2] = {-1, -1};

intptr_t redirectStdStream(StdStream which, const StreamTarget& target) {
    DWORD id = which == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    FILE* c = which == StdStream::output ? stdout : stderr;
    fflush(c);
    HANDLE saved = GetStdHandle(id);
    SetStdHandle(id, reinterpret_cast<HANDLE>(target.handle));
    // The C runtime's own descriptor follows the handle, so printf reaches the target too.
    if (target.stream) {
        savedDescriptors[int(which)] = _dup(_fileno(c));
        _dup2(_fileno(target.stream), _fileno(c));
        if (!target.isPipe)
            setvbuf(c, nullptr, _IONBF, 0);
    }
    return intptr_t(saved);
}

void restoreStdStream(StdStream which, intptr_t saved) {
    FILE* c = which == StdStream::output ? stdout : stderr;
    fflush(c);
    SetStdHandle(which == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE,
                 reinterpret_cast<HANDLE>(saved));
    // Dropping our copy of a pipe's handle lets the command see the end of its input.
    int& descriptor = savedDescriptors[int(which)];
    if (descriptor >= 0) {
        _dup2(descriptor, _fileno(c));
        _close(descriptor);
        descriptor = -1;
    }
}

void closeTarget(StreamTarget& target) {
    if (target.stream) {
        if (target.isPipe)
            _pclose(target.stream);
        else
            fclose(target.stream);
    } else if (target.handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(target.handle));
    }
    target = StreamTarget();
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

// ---- Files kept between runs ---------------------------------------------------

const char* const javaLauncherName = "java.exe";
const int64_t fileTimeTicksPerSecond = 10000000;

static int64_t ticks(const FILETIME& time) {
    return int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

bool fileInfo(const char* path, FileInfo& out) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data))
        return false;
    out.size = int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    out.modified = ticks(data.ftLastWriteTime);
    out.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool renameFile(const char* from, const char* to) {
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const char* path) {
    return DeleteFileW(Wide(path)) != 0;
}

int64_t currentTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ticks(now);
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

// ---- Text the VM prints ------------------------------------------------------

int formatText(char* buffer, int32_t size, const char* format, va_list args) {
    return _vsnprintf(buffer, size_t(size), format, args);
}

void writeVmText(FILE* stream, const char* text, int32_t n) {
    // A modern runtime's FILE* belongs to the universal C runtime, not to ours:
    // compare it with that runtime's stderr instead of touching it.
    typedef FILE*(__cdecl * IobFunction)(unsigned);
    static IobFunction iob = reinterpret_cast<IobFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ucrtbase.dll"), "__acrt_iob_func")));
    bool toError = iob != nullptr && stream == iob(2);
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    WriteFile(handle, text, DWORD(n), &written, nullptr);
}

// ---- Text at the system's boundary -------------------------------------------

// Declared by the C runtime's start-up code only: the wide twin of the call that
// fills main's argv, with the same splitting rules.
struct WideStartupInfo {
    int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand,
                                      WideStartupInfo* info);

char** commandArguments(int& argc, char** argv) {
    int count = 0;
    wchar_t** words = nullptr;
    wchar_t** environment = nullptr;
    WideStartupInfo info = {0};
    if (__wgetmainargs(&count, &words, &environment, 0, &info) < 0 || words == nullptr)
        return argv;
    // Lives as long as the process, as main's own vector does.
    char** out = static_cast<char**>(reallocOrDie(nullptr, size_t(count) + 1, sizeof(char*)));
    for (int i = 0; i < count; ++i)
        out[i] = fromWide(words[i]).detach();
    out[count] = nullptr;
    argc = count;
    return out;
}

FILE* openFile(const char* path, const char* mode) {
    return _wfopen(Wide(path), Wide(mode));
}

// What a VM reads in its options is the ANSI code page; a character the page
// has no letter for must not silently become another one (no best fit).
bool toCodePage(const char* text, ByteString& out) {
    Wide wide(text);
    int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    BOOL lossy = FALSE;
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out.data(), n, nullptr, &lossy);
    return n > 0 && !lossy;
}

bool shortPathName(const char* path, ByteString& out) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(Wide(path), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    out = fromWide(buffer, int32_t(n));
    return true;
}

} // namespace platform

// The launcher's own text is UTF-8 here (see win32_text.h): these two carry it
// to and from UTF-16 without any code page. Bytes that are not UTF-8 become
// U+FFFD.
WideString ansiToWide(const char* text, int32_t n) {
    if (n < 0)
        n = countToZero(text);
    WideString out;
    out.resize(n);
    int units = n == 0 ? 0
                       : MultiByteToWideChar(CP_UTF8, 0, text, n,
                                             reinterpret_cast<wchar_t*>(out.data()), n);
    out.resize(units > 0 ? units : 0);
    out.resize(countToZero(out.cStr()));
    return out;
}

ByteString wideToAnsi(const char16_t* units, int32_t n) {
    if (n < 0)
        n = countToZero(units);
    ByteString out;
    out.resize(3 * n);
    int bytes = n == 0 ? 0
                       : WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(units), n,
                                             out.data(), 3 * n, nullptr, nullptr);
    out.resize(bytes > 0 ? bytes : 0);
    out.resize(countToZero(out.cStr()));
    return out;
}

// Text saved in the ANSI code page: a configuration without a mark that is not
// UTF-8. A byte sequence the code page does not define becomes U+FFFD; nothing
// is cut.
WideString codePageToWide(const char* text, int32_t n) {
    int32_t length = 0;
    while ((n < 0 || length < n) && text[length] != 0)
        ++length;
    WideString out;
    out.resize(length);
    int converted = length > 0 ? MultiByteToWideChar(CP_ACP, 0, text, length,
                                                     reinterpret_cast<wchar_t*>(out.data()), length)
                               : 0;
    out.resize(converted > 0 ? converted : 0);
    return out;
}

} // namespace tarn
