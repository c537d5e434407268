// User-facing texts: a `message` override from the configuration first, then
// the executable's string table under the same number.
#pragma once

#include "base/string.h"

namespace tarn {

ByteString loadMessage(int code);
// True when the configuration replaces the text of code with a `message` line.
bool hasMessageOverride(int code);
// Backslash escapes of override texts: \n \r \t, any other character itself.
ByteString unescapeMessageText(const char* text);

// printf-style formatting in which only "%s" (up to argCount arguments, then
// empty) and "%%" take effect; any other conversion is copied literally, since
// override texts are written by whoever configures the application. The result
// is cut at maxFormattedLength characters.
const int32_t maxFormattedLength = 1023;
void formatMessage(ByteString& out, const char* format, const char* const* args, int argCount);

} // namespace tarn
