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
// The embedded runtime could not be written to the user's cache.
const ResultCode resultRuntimeNotExtracted = 14;
// Message id of the second-instance text; that path exits with status 11.
const int messageAlreadyRunning = 13;
const int exitAlreadyRunning = 11;

} // namespace tarn
