// Chooses the Java runtime library to load: sources tried in the order of the
// jre_order letters (r the runtime embedded in the program, c configured file,
// b beside the app, s/i registry, e environment, j every JavaSoft key, v vendor
// keys, p java on PATH, d the well-known folders); the first source that yields
// an acceptable runtime wins.
#pragma once

#include "base/string.h"
#include "base/string_list.h"

namespace tarn {

class LaunchConfig;
class RuntimeSearch;

// True when a file or directory of that name exists.
bool fileExists(const char* path);

// A vm value names a flavour directory only when longer than one character, so
// that "-" (the cached empty value) and stray single letters mean none.
bool flavourConfigured(const ByteString& flavour);

class RuntimeLocator {
  public:
    static ByteString locate(LaunchConfig& config);
    // The same; passedOver receives a line for each runtime found but not usable.
    static ByteString locate(LaunchConfig& config, StringList& passedOver);
    // Source c: the jvmdll file itself, relative to the application home.
    static ByteString fromConfiguredLibrary(RuntimeSearch& search);
    // Source b: the jre directory (default "./jre/") in the application home.
    static ByteString fromApplicationRuntime(RuntimeSearch& search);
    static ByteString fromEnvironment(LaunchConfig& config);
    static ByteString fromEnvironment(RuntimeSearch& search);
    static ByteString fromRegistry(LaunchConfig& config, ByteString keyPath);
    static ByteString fromRegistry(RuntimeSearch& search, ByteString keyPath);
    // Sources j, v, p, d (discovery.cpp).
    static ByteString fromJavaSoftKeys(RuntimeSearch& search);
    static ByteString fromVendorKeys(RuntimeSearch& search);
    static ByteString fromPathProgram(RuntimeSearch& search);
    static ByteString fromWellKnownFolders(RuntimeSearch& search);
    // Path of an existing runtime library below directory, or "".
    static ByteString probeDirectory(LaunchConfig& config, const char* directory);
    // What a registry key of a runtime names: RuntimeLib when it exists (and no
    // flavour is asked for), else a probe of its bin directory or of JavaHome.
    // where receives the value read.
    static ByteString libraryFromKey(LaunchConfig& config, void* key, ByteString& where);
};

// Machine keys read by the s and i sources.
extern const char* const javaSoftRuntimeKey;
extern const char* const ibmRuntimeKey;

} // namespace tarn
