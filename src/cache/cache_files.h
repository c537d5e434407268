// The files of the class-data cache folder: finding a program's finished
// cache, finishing a new one at exit, and removing what is no longer needed.
#pragma once

#include "base/string.h"

namespace tarn {

// What the exit handler completes: set before the VM is created.
struct PendingCache {
    ByteString directory;   // ends with a separator
    ByteString program;     // programPrefix() of the executable
    ByteString prefix;      // program, "-", the key hash, "-"
    ByteString extension;   // ".jsa" or ".aot"
    ByteString temporary;   // where the JVM (or the create step) writes
    ByteString javaCommand; // AOT only: the runtime's launcher for the create step
    ByteString arguments;   // AOT only: its argument file (…@file)
    ByteString recording;   // AOT only: the training run's configuration file
};

// Full path of the program's finished cache for this prefix, or "" when there
// is none. A file whose size differs from its name is removed on the way.
ByteString findSealedCache(const ByteString& directory, const ByteString& prefix,
                           const char* extension);

// Removes the program's caches other than `keep` and its temporaries older
// than an hour (younger ones may belong to a start that is still running).
// Caches of the same key that sort after `keep` stay: when concurrent first
// starts finish together, each leaves the later names alone, so the last name
// always survives.
void removeStaleCaches(const ByteString& directory, const ByteString& program,
                       const ByteString& keep, const ByteString& keyPrefix);

// Arranges for `pending` to be completed when the process exits, however it
// exits: after main returns or inside System.exit, once the JVM has written.
void finishAtExit(const PendingCache& pending);

} // namespace tarn
