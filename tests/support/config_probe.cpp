// Prints what the configuration store of this very executable holds:
//   external=<n> trailerEnd=<n>
//   <key>=<first value>   for every key named on the command line (UTF-8)
//   ---
//   <the store text up to its first NUL>
#include "config/launch_config.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

using namespace tarn;

int main(int argc, char** argv) {
    platform::setUserLocale();
    LaunchConfig config(true);
    currentConfig = &config;
    printf("external=%d trailerEnd=%d\n", config.externalLength(), config.trailerEnd());
    for (int i = 1; i < argc; ++i)
        printf("%s=%s\n", argv[i], config.lookup(argv[i], false, false).cStr());
    printf("---\n%s", config.cStr());
    return 0;
}
