// The launch sequence: exports, VM options, runtime discovery, VM creation,
// properties, the version gate and the main class. Its result is the exit status.
#pragma once

#include "core/result_code.h"

namespace tarn {

using PreMainCallback = void (*)();

ResultCode runLaunchSequence(int argc, char** argv, PreMainCallback preMain, int extraCount,
                             char** extra);

} // namespace tarn
