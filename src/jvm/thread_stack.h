// The stack size of the thread that runs main, read from VM options the way the
// java command reads them.
#pragma once

#include "base/string_list.h"

#include <stdint.h>

namespace tarn {

// -Xss<size> or -XX:ThreadStackSize=<size in KiB>; a size is digits with an
// optional k, m, g or t (either case). False for any other option or a size
// that does not parse. Sizes saturate instead of overflowing.
bool parseStackSizeOption(const char* option, uint64_t& size);
// The last such option among options, 0 when there is none.
uint64_t stackSizeFromOptions(const StringList& options);

} // namespace tarn
