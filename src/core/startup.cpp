#include "core/startup.h"

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

ByteString instanceName(const ByteString& exePath) {
    ByteString name(exePath);
    for (int32_t i = 0; i < name.length(); ++i)
        if (name[i] == ':' || name[i] == '\\')
            name[i] = '.';
    name.append(".tarn");
    return name;
}

void guardSingleInstance(const LaunchConfig& config) {
    ByteString name = instanceName(config.exePath());
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
