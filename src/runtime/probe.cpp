// Turns a candidate directory (runtime home, development kit home, a runtime's
// library directory, or a folder of runtimes) into the path of a VM library.
#include "config/launch_config.h"
#include "platform/platform.h"
#include "runtime/locator.h"

namespace tarn {

namespace {

bool isDotEntry(const ByteString& name) {
    return name.equals(".") || name.equals("..");
}

// base ends in a separator. Tries the library itself, the configured flavour,
// then every subdirectory one level down in the order the file system gives.
ByteString probeBase(const ByteString& base, const ByteString& flavour) {
    const char* library = platform::runtimeLibraryName;
    ByteString candidate(base);
    candidate.append(library);
    if (fileExists(candidate.cStr()))
        return candidate;
    if (flavourConfigured(flavour)) {
        candidate = base;
        candidate.append(flavour);
        candidate.append("/");
        candidate.append(library);
        if (fileExists(candidate.cStr()))
            return candidate;
    }
    platform::DirectoryScan scan;
    ByteString directory(base);
    if (!platform::openDirectory(scan, directory.cStr()))
        return ByteString("", 0);
    while (platform::nextEntry(scan)) {
        if (!scan.isDirectory || isDotEntry(scan.name))
            continue;
        candidate = base;
        candidate.append(scan.name);
        candidate.append("/");
        candidate.append(library);
        if (fileExists(candidate.cStr())) {
            platform::closeDirectory(scan);
            return candidate;
        }
    }
    platform::closeDirectory(scan);
    return ByteString("", 0);
}

} // namespace

ByteString RuntimeLocator::probeDirectory(LaunchConfig& config, const char* directory) {
    ByteString root(directory);
    if (!root.endsWithSeparator())
        root.append("/");
    ByteString flavour = config.vmFlavour();
    for (int i = 0; i < platform::runtimeSubPathCount; ++i) {
        ByteString base(root);
        base.append(platform::runtimeSubPaths[i]);
        ByteString found = probeBase(base, flavour);
        if (!found.isEmpty())
            return found;
    }
    return ByteString("", 0);
}

} // namespace tarn
