// How the console launcher (tarn.exe) shows a failure: one line on stderr.
// The windowless launcher links win32_window.cpp instead.
#include "platform/platform.h"

namespace tarn {
namespace platform {

void reportError(const char* text) {
    fprintf(stderr, "%s\n", text);
}

} // namespace platform
} // namespace tarn
