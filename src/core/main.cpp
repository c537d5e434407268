#include "config/launch_config.h"
#include "platform/platform.h"

using namespace tarn;

int main(int, char**) {
    platform::setUserLocale();
    LaunchConfig config(true);
    return 0;
}
