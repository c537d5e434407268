// Launch results. A non-zero code is also the id of its message.
#pragma once

namespace tarn {

using ResultCode = int;

const ResultCode resultOk = 0;
const ResultCode resultNoRuntime = 1;
const ResultCode resultRuntimeInvalid = 2;
const ResultCode resultVmStartFailed = 4;
const ResultCode resultNoVersion = 5;
const ResultCode resultVersionTooLow = 6;
const ResultCode resultNoMainClass = 7;
const ResultCode resultNoMainMethod = 8;
const ResultCode resultVersionTooHigh = 12;
// An exception escaped main. The VM reports it through the thread's
// uncaught-exception handler; the launcher prints nothing and, as java does,
// exits with status 1.
const ResultCode resultMainThrew = 1;
// Texts that stand in for another result's message where they say more: a main
// class that exists but cannot be initialised (result 7), a version above a
// maxjre without minjre (result 12), a runtime library path that is a directory
// (result 2).
const int messageMainClassNotInitialized = 15;
const int messageVersionAboveMax = 16;
const int messageLibraryIsDirectory = 17;
// The embedded runtime could not be written to the user's cache.
const ResultCode resultRuntimeNotExtracted = 14;
// Message id of the second-instance text; that path exits with status 11.
const int messageAlreadyRunning = 13;
const int exitAlreadyRunning = 11;

} // namespace tarn
