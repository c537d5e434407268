// Windows platform facts: separators, file and program names, limits, signals.
#include "platform/platform.h"

#include <windows.h>

#include <signal.h>

namespace tarn {
namespace platform {

const char classPathSeparator = ';';
const char* const classPathSplitChars = ";";
const char* const runtimeLibraryName = "jvm.dll";
const char* const runtimeSubPaths[] = {"", "bin\\", "jre\\bin\\", "..\\jre\\bin\\"};
const int runtimeSubPathCount = 4;
// MAX_PATH UTF-16 units take at most three UTF-8 bytes each.
const int maxPath = 3 * MAX_PATH;
// CreateMutexW refuses names of MAX_PATH characters or more.
const int maxInstanceName = MAX_PATH - 1;
const int interruptSignal = SIGINT;
const int terminateSignal = SIGTERM;
const int64_t fileTimeTicksPerSecond = 10000000;
const char* const javaProgramName = "java.exe";
const int registryViewCount = 2;

} // namespace platform
} // namespace tarn
