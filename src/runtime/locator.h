// Chooses the Java runtime library to load: sources tried in the order of the
// jre_order letters (r embedded in the program, c configured file, b beside the
// app, s/i registry, e environment).
#pragma once

#include "base/string.h"

namespace tarn {

class LaunchConfig;

// True when a file or directory of that name exists.
bool fileExists(const char* path);

// A vm value names a flavour directory only when longer than one character, so
// that "-" (the cached empty value) and stray single letters mean none.
bool flavourConfigured(const ByteString& flavour);

class RuntimeLocator {
  public:
    static ByteString locate(LaunchConfig& config);
    // Source c: the jvmdll file itself, resolved against the application.
    static ByteString fromConfiguredLibrary(LaunchConfig& config);
    // Source b: the jre directory (default "./jre/") beside the application.
    static ByteString fromApplicationRuntime(LaunchConfig& config);
    static ByteString fromEnvironment(LaunchConfig& config);
    static ByteString fromRegistry(LaunchConfig& config, ByteString keyPath);
    // Path of an existing runtime library below directory, or "".
    static ByteString probeDirectory(LaunchConfig& config, const char* directory);
};

// Machine keys read by the s and i sources.
extern const char* const javaSoftRuntimeKey;
extern const char* const ibmRuntimeKey;

} // namespace tarn
