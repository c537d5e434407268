// Linux platform facts: separators, file and program names, limits, signals.
#include "platform/platform.h"

#include <limits.h>
#include <signal.h>

namespace tarn {
namespace platform {

const char classPathSeparator = ':';
const char* const classPathSplitChars = ";:";
const char* const runtimeLibraryName = "libjvm.so";
// A modern runtime home holds lib/server/libjvm.so, a Java 8 home jre/lib/amd64/server/.
const char* const runtimeSubPaths[] = {"", "lib/", "lib/amd64/", "jre/lib/amd64/", "../jre/lib/"};
const int runtimeSubPathCount = 5;
const int maxPath = PATH_MAX;
// The lock is a file named after the executable: keep well below NAME_MAX.
const int maxInstanceName = 200;
const int interruptSignal = SIGINT;
const int terminateSignal = SIGTERM;
const int64_t fileTimeTicksPerSecond = 1;
const char* const javaProgramName = "java";
const int registryViewCount = 0;

} // namespace platform
} // namespace tarn
