// Process-level settings applied before the launch: the forced working
// directory and the single-instance guard.
#pragma once

#include "base/string.h"

namespace tarn {

class LaunchConfig;

// Joins path onto base when it is relative and returns what the system's full
// path function reports (0 on failure, >= size when the buffer is too small).
int32_t makeFullPath(const ByteString& base, const char* path, char* buffer, int32_t size);
void applyForcedWorkingDirectory(const LaunchConfig& config, const char* value);

// The lock name for an executable path: ':' and '\' become '.', then ".tarn".
// A name longer than maxLength becomes a hash of the path and the name's end.
ByteString instanceName(const ByteString& exePath, int32_t maxLength);
// Returns when this is the only instance; otherwise prints message 13 and
// exits with status 11.
void guardSingleInstance(const LaunchConfig& config);

} // namespace tarn
