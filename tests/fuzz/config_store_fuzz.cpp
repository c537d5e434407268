// The configuration store fed one decoded source: every kind of lookup over it.
#include "base/string_list.h"
#include "config/launch_config.h"

#include <stddef.h>
#include <stdint.h>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    LaunchConfig config(false);
    appendDecodedText(config, reinterpret_cast<const char*>(data), int32_t(size));
    currentConfig = &config;
    static const char* const keys[] = {"mainclass", "jre", "jre_order", "vm", "stdout"};
    for (const char* key : keys) {
        config.lookup(key, false, true);
        config.lookup(key, true, false);
    }
    StringList values;
    config.collectValues("option", values, false, true);
    config.collectValues("property", values, false, false);
    config.stdoutTarget();
    config.forceCwd();
    currentConfig = nullptr;
    return 0;
}
