// Value expansion: %NAME%, $NAME, "%%" and "$$", over the environment and the
// special variables APPLICATION_HOME, PWD, TARN_APP_PATH and HOME.
#pragma once

#include "base/string.h"

namespace tarn {

// toUtf8: the value is UTF-8 (property values); replacements are converted to it.
ByteString expandValue(const ByteString& value, bool toUtf8);

// ValueCallbacks with a StringList as context: each adds the expanded value.
void appendExpanded(void* list, const char* value);
void appendExpandedUtf8(void* list, const char* value);

} // namespace tarn
