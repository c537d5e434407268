// The runtime search: one source per letter of jre_order, first hit wins.
#include "runtime/locator.h"

#include "cache/runtime_cache.h"
#include "config/expand.h"
#include "config/launch_config.h"
#include "platform/platform.h"

#include <ctype.h>

namespace tarn {

const char* const javaSoftRuntimeKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char* const ibmRuntimeKey = "SOFTWARE\\IBM\\Java2 Runtime Environment";

namespace {

const char* const defaultOrder = "rcbsie";
// Registry values are read into a buffer of the classic path length.
const int32_t registryBufferSize = 260;

ByteString searchOrder(const LaunchConfig& config) {
    ByteString order = config.lookup("jre_order", false, true);
    for (int32_t i = 0; i < order.length(); ++i)
        order[i] = char(tolower((unsigned char)order[i]));
    for (int32_t i = 0; i < order.length(); ++i)
        if (charInSet(defaultOrder, order[i]))
            return order;
    return ByteString(defaultOrder);
}

// Drops the last component when its separator is not the first character.
void cutLastComponent(ByteString& path) {
    int32_t at = path.findLastOf("\\/");
    if (at > 0)
        path.resize(at);
}

} // namespace

ByteString RuntimeLocator::locate(LaunchConfig& config) {
    ByteString order = searchOrder(config);
    for (int32_t i = 0; i < order.length(); ++i) {
        ByteString found;
        switch (order[i]) {
        case 'r':
            found = EmbeddedRuntime::locate(config);
            break;
        case 'c':
            found = fromConfiguredLibrary(config);
            break;
        case 'b':
            found = fromApplicationRuntime(config);
            break;
        case 's':
            found = fromRegistry(config, ByteString(javaSoftRuntimeKey));
            break;
        case 'i':
            found = fromRegistry(config, ByteString(ibmRuntimeKey));
            break;
        case 'e':
            found = fromEnvironment(config);
            break;
        default:
            continue;
        }
        if (!found.isEmpty())
            return found;
    }
    return ByteString("", 0);
}

ByteString RuntimeLocator::fromConfiguredLibrary(LaunchConfig& config) {
    ByteString configured = expandValue(config.lookup("jvmdll", false, true), false);
    if (configured.isEmpty())
        return ByteString("", 0);
    ByteString path = config.resolvePath(configured);
    if (!fileExists(path.cStr()))
        return ByteString("", 0);
    return path;
}

ByteString RuntimeLocator::fromApplicationRuntime(LaunchConfig& config) {
    ByteString configured = expandValue(config.lookup("jre", false, true), false);
    if (configured.isEmpty())
        configured = ByteString("./jre/");
    ByteString directory = config.resolvePath(configured);
    return probeDirectory(config, directory.cStr());
}

ByteString RuntimeLocator::fromEnvironment(LaunchConfig& config) {
    static const char* const names[] = {"JRE_HOME", "JAVA_HOME"};
    for (const char* name : names) {
        const char* value = platform::getEnv(name);
        if (value == nullptr || *value == 0)
            continue;
        // Used as given: a relative value means the process's current directory.
        ByteString found = probeDirectory(config, value);
        if (!found.isEmpty())
            return found;
    }
    return ByteString("", 0);
}

ByteString RuntimeLocator::fromRegistry(LaunchConfig& config, ByteString keyPath) {
    char buffer[registryBufferSize];
    void* key = platform::openMachineKey(keyPath.cStr());
    if (key == nullptr)
        return ByteString("", 0);
    bool read = platform::readKeyString(key, "CurrentVersion", buffer, registryBufferSize);
    platform::closeKey(key);
    if (!read)
        return ByteString("", 0);
    keyPath.append("\\");
    keyPath.append(buffer);
    key = platform::openMachineKey(keyPath.cStr());
    if (key == nullptr)
        return ByteString("", 0);
    if (platform::readKeyString(key, "RuntimeLib", buffer, registryBufferSize)) {
        platform::closeKey(key);
        ByteString library(buffer);
        if (fileExists(library.cStr()) && !flavourConfigured(config.vmFlavour()))
            return library;
        // RuntimeLib is usually bin\<flavour>\jvm.dll: probe from the bin directory.
        cutLastComponent(library);
        cutLastComponent(library);
        return probeDirectory(config, library.cStr());
    }
    read = platform::readKeyString(key, "JavaHome", buffer, registryBufferSize);
    platform::closeKey(key);
    if (!read)
        return ByteString("", 0);
    return probeDirectory(config, buffer);
}

} // namespace tarn
