// The runtime search: one source per letter of jre_order, first hit wins.
#include "runtime/locator.h"

#include "base/trace.h"
#include "cache/runtime_cache.h"
#include "config/expand.h"
#include "config/launch_config.h"
#include "platform/platform.h"
#include "runtime/discovery.h"

#include <ctype.h>

namespace tarn {

const char* const javaSoftRuntimeKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char* const ibmRuntimeKey = "SOFTWARE\\IBM\\Java2 Runtime Environment";

namespace {

// The five original sources come first, after the runtime the
// program carries itself: they still find what they found before, and the
// newer ones only run where those found nothing.
const char* const knownLetters = "rcbsiejvpd";
const char* const defaultOrder = "rcbsiejvpd";
// Registry values are read into a buffer for a path of the classic length, each
// character up to three bytes of the launcher's UTF-8.
const int32_t registryBufferSize = 3 * 260;

ByteString searchOrder(const LaunchConfig& config) {
    ByteString order = config.lookup("jre_order", false, true);
    for (int32_t i = 0; i < order.length(); ++i)
        order[i] = char(tolower((unsigned char)order[i]));
    for (int32_t i = 0; i < order.length(); ++i)
        if (charInSet(knownLetters, order[i]))
            return order;
    return ByteString(defaultOrder);
}

const char* sourceName(char letter) {
    switch (letter) {
    case 'r':
        return "the runtime embedded in the program";
    case 'c':
        return "the configured jvmdll";
    case 'b':
        return "the runtime in the application's folder";
    case 's':
        return "the JavaSoft registry key";
    case 'i':
        return "the IBM registry key";
    case 'e':
        return "JRE_HOME and JAVA_HOME";
    case 'j':
        return "every JavaSoft registry key";
    case 'v':
        return "the vendors' registry keys";
    case 'p':
        return "java on PATH";
    case 'd':
        return "the well-known folders";
    default:
        return nullptr;
    }
}

ByteString trySource(char letter, RuntimeSearch& search) {
    switch (letter) {
    case 'r':
        return EmbeddedRuntime::locate(search.config());
    case 'c':
        return RuntimeLocator::fromConfiguredLibrary(search);
    case 'b':
        return RuntimeLocator::fromApplicationRuntime(search);
    case 's':
        return RuntimeLocator::fromRegistry(search, ByteString(javaSoftRuntimeKey));
    case 'i':
        return RuntimeLocator::fromRegistry(search, ByteString(ibmRuntimeKey));
    case 'e':
        return RuntimeLocator::fromEnvironment(search);
    case 'j':
        return RuntimeLocator::fromJavaSoftKeys(search);
    case 'v':
        return RuntimeLocator::fromVendorKeys(search);
    case 'p':
        return RuntimeLocator::fromPathProgram(search);
    default:
        return RuntimeLocator::fromWellKnownFolders(search);
    }
}

// Drops the last component when its separator is not the first character.
void cutLastComponent(ByteString& path) {
    int32_t at = path.findLastOf("\\/");
    if (at > 0)
        path.resize(at);
}

// Only the application's own folder: a jre or jvmdll planted in whatever
// folder the program is started from must never be loaded.
ByteString inApplicationHome(const LaunchConfig& config, const ByteString& path) {
    if (path.length() >= 1 && (path[0] == '\\' || path[0] == '/'))
        return path;
    if (path.length() >= 2 && path[1] == ':')
        return path;
    return ByteString::concat(config.appHome().cStr(), path);
}

} // namespace

ByteString RuntimeLocator::locate(LaunchConfig& config) {
    StringList passedOver;
    return locate(config, passedOver);
}

ByteString RuntimeLocator::locate(LaunchConfig& config, StringList& passedOver) {
    RuntimeSearch search(config);
    ByteString order = searchOrder(config);
    trace("runtime search order: %s", order.cStr());
    ByteString found("", 0);
    for (int32_t i = 0; i < order.length() && found.isEmpty(); ++i) {
        const char* name = sourceName(order[i]);
        if (name == nullptr)
            continue;
        trace("source %c: %s", order[i], name);
        found = trySource(order[i], search);
    }
    if (found.isEmpty())
        trace("no runtime found");
    else
        trace("runtime library: %s", found.cStr());
    passedOver = search.passedOver();
    return found;
}

ByteString RuntimeLocator::fromConfiguredLibrary(RuntimeSearch& search) {
    LaunchConfig& config = search.config();
    ByteString configured = expandValue(config.lookup("jvmdll", false, true), false);
    if (configured.isEmpty())
        return ByteString("", 0);
    ByteString path = inApplicationHome(config, configured);
    bool exists = fileExists(path.cStr());
    if (!search.judge(path.cStr(), exists ? path : ByteString("", 0), nullptr))
        return ByteString("", 0);
    return path;
}

ByteString RuntimeLocator::fromApplicationRuntime(RuntimeSearch& search) {
    LaunchConfig& config = search.config();
    ByteString configured = expandValue(config.lookup("jre", false, true), false);
    if (configured.isEmpty())
        configured = ByteString("./jre/");
    ByteString directory = inApplicationHome(config, configured);
    ByteString library = probeDirectory(config, directory.cStr());
    return search.judge(directory.cStr(), library, directory.cStr()) ? library : ByteString("", 0);
}

ByteString RuntimeLocator::fromEnvironment(LaunchConfig& config) {
    RuntimeSearch search(config);
    return fromEnvironment(search);
}

ByteString RuntimeLocator::fromEnvironment(RuntimeSearch& search) {
    static const char* const names[] = {"JRE_HOME", "JAVA_HOME"};
    for (const char* name : names) {
        const char* value = platform::getEnv(name);
        if (value == nullptr || *value == 0)
            continue;
        // Used as given: a relative value means the process's current directory.
        ByteString found = probeDirectory(search.config(), value);
        if (search.judge(value, found, value))
            return found;
    }
    return ByteString("", 0);
}

ByteString RuntimeLocator::fromRegistry(LaunchConfig& config, ByteString keyPath) {
    RuntimeSearch search(config);
    return fromRegistry(search, keyPath);
}

ByteString RuntimeLocator::fromRegistry(RuntimeSearch& search, ByteString keyPath) {
    char buffer[registryBufferSize];
    void* key = platform::openMachineKey(keyPath.cStr());
    if (key == nullptr)
        return ByteString("", 0);
    bool read = platform::readKeyString(key, "CurrentVersion", buffer, registryBufferSize);
    platform::closeKey(key);
    if (!read)
        return ByteString("", 0);
    ByteString version(buffer);
    keyPath.append("\\");
    keyPath.append(buffer);
    key = platform::openMachineKey(keyPath.cStr());
    if (key == nullptr)
        return ByteString("", 0);
    ByteString where;
    ByteString library = libraryFromKey(search.config(), key, where);
    platform::closeKey(key);
    if (where.isEmpty())
        return ByteString("", 0);
    return search.judge(where.cStr(), library, version.cStr()) ? library : ByteString("", 0);
}

ByteString RuntimeLocator::libraryFromKey(LaunchConfig& config, void* key, ByteString& where) {
    char buffer[registryBufferSize];
    if (platform::readKeyString(key, "RuntimeLib", buffer, registryBufferSize)) {
        ByteString library(buffer);
        where = library;
        if (fileExists(library.cStr()) && !flavourConfigured(config.vmFlavour()))
            return library;
        // RuntimeLib is usually bin\<flavour>\jvm.dll: probe from the bin directory.
        cutLastComponent(library);
        cutLastComponent(library);
        return probeDirectory(config, library.cStr());
    }
    if (!platform::readKeyString(key, "JavaHome", buffer, registryBufferSize)) {
        where = ByteString("", 0);
        return ByteString("", 0);
    }
    where = ByteString(buffer);
    return probeDirectory(config, buffer);
}

} // namespace tarn
