#include "core/startup.h"

#include "base/hash.h"
#include "config/launch_config.h"
#include "core/messages.h"
#include "core/result_code.h"
#include "platform/platform.h"

#include <stdio.h>
#include <stdlib.h>

namespace tarn {

int32_t makeFullPath(const ByteString& base, const char* path, char* buffer, int32_t size) {
    ByteString candidate;
    if (path[0] == '/' || (path[0] && path[1] == ':')) {
        candidate = ByteString(path);
    } else if (path[0] == '\\') {
        // A rooted path takes the drive of the application home, when it has one.
        if (base.find(':') == 1)
            candidate = base.left(2);
        candidate.append(path);
    } else {
        candidate = base;
        if (!candidate.endsWithSeparator())
            candidate.append("/");
        candidate.append(path);
    }
    return platform::fullPathName(candidate.cStr(), buffer, size);
}

void applyForcedWorkingDirectory(const LaunchConfig& config, const char* value) {
    ByteString buffer;
    buffer.resize(platform::maxPath);
    int32_t length = makeFullPath(config.appHome(), value, buffer.data(), platform::maxPath);
    if (length > 0 && length < platform::maxPath)
        platform::setCurrentDirectory(buffer.data());
}

ByteString instanceName(const ByteString& exePath, int32_t maxLength) {
    ByteString name(exePath);
    for (int32_t i = 0; i < name.length(); ++i)
        if (name[i] == ':' || name[i] == '\\')
            name[i] = '.';
    name.append(".tarn");
    if (name.length() <= maxLength)
        return name; // installers may look for exactly this name
    // Too long for the system: a hash of the whole path (FNV-1a, 64 bits) keeps
    // distinct programs apart, and the name's end keeps it recognisable.
    ByteString bounded;
    appendHex(bounded, fnvHash(fnvOffset, exePath.cStr(), exePath.length()), 16);
    bounded.appendChar('.');
    int32_t keep = maxLength - bounded.length();
    bounded.append(name.right(keep > 0 ? keep : 0));
    return bounded;
}

void guardSingleInstance(const LaunchConfig& config) {
    ByteString name = instanceName(config.exePath(), platform::maxInstanceName);
    int error = 0;
    platform::InstanceLock lock = platform::acquireInstanceLock(name.cStr(), &error);
    if (lock == platform::InstanceLock::acquired)
        return;
    if (lock == platform::InstanceLock::failed)
        printf("CreateMutex error: %d\n", error);
    platform::reportError(loadMessage(messageAlreadyRunning).cStr());
    exit(exitAlreadyRunning);
}

} // namespace tarn
