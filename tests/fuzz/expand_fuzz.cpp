// Value expansion in both modes, against a small fixed environment.
#include "config/expand.h"
#include "config/launch_config.h"

#include <stdlib.h>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LaunchConfig* config = [] {
        setenv("A", "x%A%$A", 1);
        setenv("EMPTY", "", 1);
        auto* c = new LaunchConfig(false);
        c->setExePath(ByteString("/opt/app/tool"));
        c->captureWorkDir();
        return c;
    }();
    if (size > 4096)
        return 0;
    currentConfig = config;
    ByteString value(reinterpret_cast<const char*>(data), int32_t(size));
    expandValue(value, false);
    expandValue(value, true);
    currentConfig = nullptr;
    return 0;
}
