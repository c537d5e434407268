// The TARN_TRACE diagnostics: when that environment variable is set and not
// empty, the launcher explains its decisions on stderr, one "tarn: " line each.
// Unset, tracing costs one getenv at the first call and prints nothing.
#pragma once

namespace tarn {

bool traceEnabled();
// printf-style; the line gets the "tarn: " prefix and a newline.
void trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace tarn
