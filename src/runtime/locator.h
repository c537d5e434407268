// Chooses the Java runtime library to load: sources tried in the order of the
// jre_order letters (c configured file, b beside the app, s/i registry, e environment).
#pragma once

#include "base/string.h"

namespace tarn {

class LaunchConfig;

// True when a file or directory of that name exists.
bool fileExists(const char* path);

class RuntimeLocator {
  public:
    static ByteString locate(LaunchConfig& config);
    static ByteString fromEnvironment(LaunchConfig& config);
    static ByteString fromRegistry(LaunchConfig& config, ByteString keyPath);
    // Path of an existing runtime library below directory, or "".
    static ByteString probeDirectory(LaunchConfig& config, const char* directory);
};

} // namespace tarn
