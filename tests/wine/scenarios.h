// Starts that both bitnesses run: every one runs for win64 in the test file that
// defines it, and those where 32-bit differs also run for win32 in win32_test.cpp.
#pragma once

#include "wine/wine_support.h"

namespace tarn::test {

// launch_test.cpp
Start fullLaunch(const Target& target, const fs::path& dir);
Start versionTooHigh(const Target& target, const fs::path& dir);
Start mainThrows(const Target& target, const fs::path& dir);
Start libraryWithoutEntry(const Target& target, const fs::path& dir);
Start vmCreationFails(const Target& target, const fs::path& dir);
Start mainClassMissing(const Target& target, const fs::path& dir);
Start notALibrary(const Target& target, const fs::path& dir);

// discovery_test.cpp; the registry starts hold their keys until checked, and are
// not run (with the reason in `what`) when a real runtime is registered.
Start registryViewOfTheProcess(const Target& target, const fs::path& dir);
Start registryJavaHome(const Target& target, const fs::path& dir);
Start pathRetry(const Target& target, const fs::path& dir);
Start runtimeOfTheOtherBitness(const Target& target, const fs::path& dir);

// installed_runtimes_test.cpp: a vendor key in each view, the other one naming a
// runtime of the other bitness; the process's own is chosen.
Start registryViewsAndBitness(const Target& target, const fs::path& dir);
// embedded_runtime_test.cpp: extracted into LOCALAPPDATA on its first start.
Start embeddedRuntime(const Target& target, const fs::path& dir);

// process_test.cpp
Start sharedLogFile(const Target& target, const fs::path& dir);
// Ctrl+C while main blocks.
void interruptWhileMainRuns(const Target& target, const fs::path& dir);

// foreign_names_test.cpp: names the ANSI code page cannot spell (a program,
// its arguments, configuration, libraries, runtime and redirection).
std::vector<Start> foreignNames(const Target& target, const fs::path& dir);

} // namespace tarn::test
