#include "base/trace.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

namespace tarn {

bool traceEnabled() {
    // -1 unknown, 0 off, 1 on: decided once, at the first question.
    static int state = -1;
    if (state < 0) {
        const char* value = getenv("TARN_TRACE");
        state = value != nullptr && *value != 0 ? 1 : 0;
    }
    return state == 1;
}

void trace(const char* format, ...) {
    if (!traceEnabled())
        return;
    va_list args;
    va_start(args, format);
    fputs("tarn: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    fflush(stderr);
}

} // namespace tarn
