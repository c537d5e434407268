// Path operations shared by the runtime search and the class path: existence,
// resolution of configured paths, and the cached VM flavour.
#include "config/expand.h"
#include "config/launch_config.h"
#include "platform/platform.h"
#include "runtime/locator.h"

namespace tarn {

bool fileExists(const char* path) {
    return platform::pathExists(path);
}

bool flavourConfigured(const ByteString& flavour) {
    return flavour.length() > 1;
}

ByteString LaunchConfig::resolvePath(const ByteString& path) const {
    // Rooted, network and drive-qualified paths are already absolute enough.
    if (path.length() >= 1 && (path[0] == '\\' || path[0] == '/'))
        return path;
    if (path.length() >= 2 && path[1] == ':')
        return path;
    ByteString beside(appHome_);
    beside.append(path);
    if (fileExists(beside.cStr()))
        return beside;
    ByteString below(workDir_);
    below.append(path);
    if (fileExists(below.cStr()))
        return below;
    // Neither exists: the caller's own test fails on the application's form.
    return beside;
}

ByteString LaunchConfig::vmFlavour() {
    if (vmCache_.isEmpty()) {
        vmCache_ = expandValue(lookup("vm", false, true), false);
        // "-" marks the value as read, so the key is looked up once per run.
        if (vmCache_.isEmpty())
            vmCache_ = ByteString("-");
    }
    return vmCache_;
}

} // namespace tarn
