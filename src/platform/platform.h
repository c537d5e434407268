// Everything the launcher asks of the operating system. win32.cpp and posix.cpp
// implement it; nothing outside this folder knows which one it runs on.
#pragma once

#include "base/string.h"

#include <stdint.h>
#include <stdio.h>

namespace tarn {
namespace platform {

// ---- Platform facts -------------------------------------------------------
// Separator between class path entries (";" on Windows, ":" on Linux).
extern const char classPathSeparator;
// Characters at which a configured class path value is split.
extern const char* const classPathSplitChars;
// File name of a Java runtime's VM library ("jvm.dll", "libjvm.so").
extern const char* const runtimeLibraryName;
// Sub-paths below a candidate directory where the runtime library is looked for.
extern const char* const runtimeSubPaths[];
extern const int runtimeSubPathCount;
// Longest path the platform's path APIs take (MAX_PATH on Windows).
extern const int maxPath;

// ---- Process and files ----------------------------------------------------
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

// ---- Per-user cache (posix_cache.cpp, win32_cache.cpp) ----------------------
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
// ansiToWide / wideToAnsi (base/convert.h) are implemented here as well.

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

// ---- User-facing failures ---------------------------------------------------
// Shows one failure line to the user (a console program writes it to stderr).
// Every message of the launcher goes through here.
void reportError(const char* text);

// ---- Interrupts -------------------------------------------------------------
using InterruptHandler = void (*)(int);
extern const int interruptSignal; // SIGINT
extern const int terminateSignal; // SIGTERM
// Installs handler for sig and returns the previous handler (or null when the
// previous one cannot be called as a plain handler). On Windows the C runtime
// runs it on a thread of its own; on Linux the signal only wakes a watcher
// thread, which runs it, because JNI calls are unsafe inside a signal handler.
InterruptHandler installInterruptHandler(int sig, InterruptHandler handler);

} // namespace platform
} // namespace tarn
