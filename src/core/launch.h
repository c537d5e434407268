// The launch sequence: exports, VM options, runtime discovery, VM creation,
// properties, the version gate and the main class. Its result is the exit status.
#pragma once

#include "core/result_code.h"

namespace tarn {

using PreMainCallback = void (*)();

ResultCode runLaunchSequence(int argc, char** argv, PreMainCallback preMain, int extraCount,
                             char** extra);

// A version text read as "%d.%d.%d_%d": the number of fields read (0 to 4), or
// -1 for an empty text.
int parseVersion(const char* text, int fields[4]);
// -1 when version is below bound in the first min(counts) fields, 1 above, else 0.
int compareVersions(const int version[4], int versionCount, const int bound[4], int boundCount);

} // namespace tarn
