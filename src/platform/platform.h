// Everything the launcher asks of the operating system. The files in win32/ and
// posix/ implement it; nothing outside this folder knows which one it runs on.
#pragma once

#include "base/string.h"
#include "base/string_list.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

namespace tarn {
namespace platform {

// ---- Platform facts -------------------------------------------------------
// Separator between class path entries, and between PATH entries too (";" on
// Windows, ":" on Linux).
extern const char classPathSeparator;
// File name of a runtime's command-line launcher ("java", "java.exe"), as the
// runtime search looks for it on PATH and the class-data cache runs it.
extern const char* const javaProgramName;
// Characters at which a configured class path value is split.
extern const char* const classPathSplitChars;
// File name of a Java runtime's VM library ("jvm.dll", "libjvm.so").
extern const char* const runtimeLibraryName;
// Sub-paths below a candidate directory where the runtime library is looked for.
extern const char* const runtimeSubPaths[];
extern const int runtimeSubPathCount;
// Longest path the platform's path APIs take (MAX_PATH on Windows).
extern const int maxPath;
// Longest single-instance lock name the system takes.
extern const int maxInstanceName;

// ---- Process and files ----------------------------------------------------
// Opens the null device on each standard descriptor (0-2) that is closed, so that
// no file opened later can take its place and receive the program's output.
void openClosedStandardStreams();
void setUserLocale();
// Full path of the running executable; false when the OS cannot tell.
bool executablePath(ByteString& out);
bool currentDirectory(ByteString& out);
bool setCurrentDirectory(const char* path);
// Absolute, normalised form of path (GetFullPathNameA); returns its length,
// 0 on failure, or a value >= size when the buffer is too small.
int32_t fullPathName(const char* path, char* buffer, int32_t size);
// A file or directory of that name exists (no access right is tested).
bool pathExists(const char* path);
bool isDirectory(const char* path);
// The file exists and may be read.
bool canRead(const char* path);
// Reads the whole file in one read. False when it cannot be opened or read.
bool readWholeFile(const char* path, ByteBuffer& out);

// Read-only view of a whole file. size is 0 and data null for an empty file.
struct MappedFile {
    const unsigned char* data = nullptr;
    int64_t size = 0;
    void* file = nullptr;
    void* mapping = nullptr;
};
bool mapFile(const char* path, MappedFile& out);
void unmapFile(MappedFile& mapped);

// The command-line arguments, program name first, as launcher text. Windows
// takes them from the UTF-16 command line (main's argv holds only what the
// ANSI code page can spell); elsewhere argv itself.
char** commandArguments(int& argc, char** argv);
// fopen for launcher text paths.
FILE* openFile(const char* path, const char* mode);

// ---- Per-user cache (posix/cache.cpp, win32/cache.cpp) ----------------------
// The user's folder for data kept between runs, without a trailing separator:
// $XDG_CACHE_HOME or ~/.cache on Linux, %LOCALAPPDATA% on Windows.
bool userCacheDirectory(ByteString& out);
// Creates path and its missing parents; true when it is a directory afterwards.
bool makeDirectories(const char* path);
// Writes a new file (replacing any old one) with the given permission bits
// (ignored on Windows). False on any failure, a full disk included.
bool writeNewFile(const char* path, const unsigned char* data, size_t size, uint32_t mode);
// Size of a regular file, -1 when there is none.
int64_t fileSize(const char* path);
// Renames a directory in one step; fails when `to` exists and is not empty.
bool renameDirectory(const char* from, const char* to);
// Removes a directory and everything below it; links are removed, not followed.
void removeTree(const char* path);
uint32_t processId();
// False only when no process with that id runs any more.
bool processAlive(uint32_t id);

// ---- Environment ----------------------------------------------------------
// getenv with the platform's name matching (case-insensitive on Windows).
const char* getEnv(const char* name);
// _putenv semantics: "NAME=value" sets, "NAME=" removes.
void putEnv(const char* assignment);

// ---- Text -----------------------------------------------------------------
// ansiToWide / wideToAnsi / codePageToWide (base/convert.h) are implemented here
// as well. "ANSI" there means the launcher's own text: UTF-8 on Windows, the
// locale's charset on Linux.
// Launcher text as the VM reads its options (the ANSI code page on Windows);
// false when some character has no spelling there.
bool toCodePage(const char* text, ByteString& out);
// The short (8.3) form of an existing path; false where there is none.
bool shortPathName(const char* path, ByteString& out);

// ---- Directory enumeration ------------------------------------------------
struct DirectoryScan {
    void* handle = nullptr;
    ByteString name;
    bool isDirectory = false;
    ByteString pattern;
    bool pendingFirst = false;
};
// directory ends with a separator. Entries come in the file system's order,
// "." and ".." included; links to directories are not reported as directories
// on Linux so that scans never loop.
bool openDirectory(DirectoryScan& scan, const char* directory);
bool nextEntry(DirectoryScan& scan);
void closeDirectory(DirectoryScan& scan);

// ---- Dynamic libraries ----------------------------------------------------
void disableErrorDialogs();
// Loads a runtime library by path. On Windows its dependencies come from its own
// folder first and never from the working directory.
void* loadLibrary(const char* path);
void* librarySymbol(void* library, const char* name);
void freeLibrary(void* library);
// The system's text for the last failed load, "%1" standing for the file where
// the system says so. False when the system has no text.
bool lastLoadErrorText(ByteString& out);

// ---- Registry (read-only; yields nothing where there is none) -------------
void* openMachineKey(const char* path);
bool readKeyString(void* key, const char* value, char* buffer, int32_t size);
void closeKey(void* key);

// ---- Resources ------------------------------------------------------------
// The RT_STRING block `block` of the executable: 16 entries of a 16-bit length
// and that many UTF-16 units. False when the block does not exist.
bool findStringBlock(int block, const unsigned char** data, int32_t* size);

// ---- Single instance --------------------------------------------------------
enum class InstanceLock { acquired, busy, failed };
// Takes the named lock for the life of the process. On failure errorCode is set.
InstanceLock acquireInstanceLock(const char* name, int* errorCode);

// ---- Standard streams ---------------------------------------------------------
struct StreamTarget {
    intptr_t handle = -1; // OS handle or descriptor, -1 when opening failed
    FILE* stream = nullptr;
    bool isPipe = false;
};
enum class StdStream { output, error };
// Opens a file for appending (created when missing), unbuffered.
bool openAppendTarget(const char* path, StreamTarget& out);
// Starts `command` through the shell with its standard input on a new pipe.
bool openPipeTarget(const char* command, StreamTarget& out);
// Points the OS's standard handle and the C library's stream at the target;
// returns the handle that was in force, for restoreStdStream.
intptr_t redirectStdStream(StdStream which, const StreamTarget& target);
void restoreStdStream(StdStream which, intptr_t saved);
void closeTarget(StreamTarget& target);

// ---- Files kept between runs ---------------------------------------------------
// userCacheDirectory, makeDirectories and processId: see the per-user cache.
struct FileInfo {
    int64_t size = 0;
    int64_t modified = 0; // last write, in fileTimeTicksPerSecond units
    bool isDirectory = false;
};
bool fileInfo(const char* path, FileInfo& out);
// Replaces `to` when it exists. False when the system refuses (a file in use).
bool renameFile(const char* from, const char* to);
bool removeFile(const char* path);
// Now, in the units of FileInfo::modified (seconds on Linux, FILETIME's 100 ns
// steps on Windows: converting them would need 64-bit division, which 32-bit
// code takes from libgcc's DLL).
int64_t currentTime();
extern const int64_t fileTimeTicksPerSecond;
// Runs program with one argument, no window and no standard streams, and waits
// for it. Returns its exit status, or -1 when it could not be started.
int runQuietly(const char* program, const char* argument);

// ---- Text the VM prints ------------------------------------------------------
// Writes text that the VM handed to a JNI "vfprintf" hook with its own FILE*
// (stdout or stderr of the VM's C runtime, which need not be ours).
void writeVmText(FILE* stream, const char* text, int32_t n);
// The C runtime's vsnprintf: the length written, or when size is too small the
// length needed or (Windows) -1. MinGW's own vsnprintf would add 12 KB.
int formatText(char* buffer, int32_t size, const char* format, va_list args);

// ---- User-facing failures ---------------------------------------------------
// Shows one failure line to the user (a console program writes it to stderr).
// Every message of the launcher goes through here.
void reportError(const char* text);

// ---- Interrupts -------------------------------------------------------------
using InterruptHandler = void (*)(int);
extern const int interruptSignal; // SIGINT
extern const int terminateSignal; // SIGTERM
// Installs handler for sig and returns the previous handler (or null when the
// previous one cannot be called as a plain handler). It runs on a thread of its
// own, never inside a signal handler, since JNI calls are unsafe there: Windows
// delivers console events (Ctrl+C, closing the console) on a new thread, and on
// Linux the signal only wakes a watcher thread. A signal that the process
// inherited as ignored stays ignored, and the handler is not installed.
InterruptHandler installInterruptHandler(int sig, InterruptHandler handler);

// ---- Runtime discovery --------------------------------------------------------
// The path with every link resolved; false when it does not exist.
bool realPath(const char* path, ByteString& out);
// Up to size bytes from the start of a file: the count read, -1 when it cannot be read.
int32_t readFileHead(const char* path, unsigned char* buffer, int32_t size);
// Folders where installers and tools put runtimes, each ending in a separator:
// every entry below parents.item(i), followed by suffixes.item(i), is a candidate home.
void runtimeFolders(StringList& parents, StringList& suffixes);

enum class RegistryRoot { machine, user };
// Views of the registry a search reads: the process's own first, then the other
// one (the 32-bit and 64-bit halves of a 64-bit Windows). Nothing where there is none.
extern const int registryViewCount;
void* openRegistryKey(RegistryRoot root, int view, const char* path);
// Name of the index-th subkey; false past the last one.
bool registrySubkey(void* key, int32_t index, ByteString& name);

// ---- Threads ----------------------------------------------------------------
// A mutual-exclusion lock; all zero bytes is a valid, unlocked lock, so a static
// or member Lock needs no set-up.
struct Lock {
    intptr_t storage[8] = {};
};
void acquireLock(Lock& lock);
bool tryAcquireLock(Lock& lock);
void releaseLock(Lock& lock);
// Runs body(context) on a new thread with the given stack size (0: the system's
// default) and waits for it to end. False, without running body, when no such
// thread can be made.
bool runOnNewThread(uint64_t stackSize, void (*body)(void*), void* context);

} // namespace platform
} // namespace tarn
