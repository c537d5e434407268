// Process entry: prepares the process, runs the launch, tears the VM down and
// returns the launch result as the exit status.
#include "config/launch_config.h"
#include "core/launch.h"
#include "core/messages.h"
#include "core/startup.h"
#include "jvm/java_host.h"
#include "platform/platform.h"
#include "stdio/redirector.h"

#include <stdio.h>
#include <stdlib.h>

using namespace tarn;

int main(int argc, char** argv) {
    platform::openClosedStandardStreams();
    platform::setUserLocale();
    argv = platform::commandArguments(argc, argv);
    LaunchConfig config(true);
    JavaHost host;
    currentConfig = &config;
    currentHost = &host;

    ByteString forcedDirectory = config.forceCwd();
    if (!forcedDirectory.isEmpty()) {
        applyForcedWorkingDirectory(config, forcedDirectory.cStr());
        config.captureWorkDir();
    }
    ByteString errorTarget = config.stderrTarget();
    if (!errorTarget.isEmpty())
        streamRedirector.redirectStderr(errorTarget.cStr());
    ByteString outputTarget = config.stdoutTarget();
    if (!outputTarget.isEmpty())
        streamRedirector.redirectStdout(outputTarget.cStr());
    if (config.singleInstance().equalsNoCase("true"))
        guardSingleInstance(config);

    ResultCode result = runLaunchSequence(argc - 1, argv + 1, installInterruptHandlers, 0, nullptr);

    host.unload();
    currentHost = nullptr;
    currentConfig = nullptr;
    return result;
}
