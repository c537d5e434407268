// The class-data cache behind `cds auto`: an archive of the classes a program
// loads, kept per program and runtime in the user's cache folder, which lets
// the JVM start that program again much faster.
//
// Contract:
// - The first start makes the JVM record the cache at exit under a temporary
//   name; an exit handler renames it when it is complete. Later starts hand the
//   finished file to the JVM. Nothing is ever read under its final name before
//   the rename, so concurrent or killed starts cannot leave a half-written cache.
// - A cache is named from the program (path, size, time), the runtime (library
//   path, size, time, version) and the VM options, plus the size it had when
//   it was finished: any change gives a new name, and a file whose size no
//   longer matches its name is damaged and written again.
// - Writing a cache removes the program's older ones and abandoned temporaries.
// - Every failure only costs speed: the launch goes on without a cache, and the
//   JVM's own cache messages are silenced.
#pragma once

#include "base/string.h"

#include <stdint.h>

namespace tarn {

class LaunchConfig;
class JavaHost;

enum class CacheMechanism {
    none,           // before Java 13
    dynamicArchive, // -XX:ArchiveClassesAtExit, then -XX:SharedArchiveFile
    aotCache,       // Java 25: -XX:AOTMode=record, a create step, then -XX:AOTCache
};

// The best mechanism of a runtime of that version ("1.8.0_402", "17.0.15", "25").
CacheMechanism cacheMechanismFor(const char* version);

// Adds the VM options that use or write the program's cache when `cds` is
// `auto`; does nothing otherwise. Call after the runtime is chosen and every
// other option is added, before the VM is created.
void addClassCacheOptions(const LaunchConfig& config, JavaHost& host, const char* libraryPath);

// ---- Names (cache_files.cpp) ----
// "name-1234abcd": the executable's file name (at most 32 plain characters)
// and a hash of its full path; every cache file of the program starts with it.
ByteString programPrefix(const ByteString& exePath);
// Size written in hexadecimal after "prefix" in a finished cache's name
// ("...-1c000.jsa"), or -1.
int64_t sealedSize(const char* name, const ByteString& prefix, const char* extension);

} // namespace tarn
