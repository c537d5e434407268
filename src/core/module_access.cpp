// The VM reads "--add-opens=M/P=ALL-UNNAMED" and its siblings itself and turns
// them into its internal jdk.module.* properties; those properties given as -D
// options are ignored, so the option forms are the ones to pass.
#include "core/module_access.h"

#include "base/string_list.h"
#include "config/launch_config.h"
#include "jvm/java_host.h"
#include "runtime/release.h"
#include "runtime/version.h"

namespace tarn {

namespace {

// The feature release: 8 for "1.8.0_402", 17 for "17.0.15"; 0 when unknown.
int featureRelease(const ByteString& library) {
    ByteString version;
    int fields[4];
    if (!readLibraryVersion(ByteString(library).cStr(), version))
        return 0;
    int count = parseVersion(version.cStr(), fields);
    if (count >= 2 && fields[0] == 1)
        return fields[1];
    return count >= 1 ? fields[0] : 0;
}

// One option per blank-separated item of every value of key.
void addEach(const LaunchConfig& config, JavaHost& host, const char* key, const char* prefix,
             const char* suffix) {
    StringList values;
    config.collectValues(key, values, false, true);
    for (int32_t i = 0; i < values.count(); ++i) {
        const char* p = values.item(i);
        while (*p) {
            while (*p == ' ' || *p == '\t')
                ++p;
            const char* start = p;
            while (*p && *p != ' ' && *p != '\t')
                ++p;
            if (p == start)
                break;
            ByteString option(prefix);
            option.append(start, int32_t(p - start));
            option.append(suffix);
            host.addOption(option.cStr());
        }
    }
}

} // namespace

void addModuleAccessOptions(const LaunchConfig& config, JavaHost& host, const ByteString& library) {
    int release = featureRelease(library);
    if (release >= 9) {
        addEach(config, host, "addopens", "--add-opens=", "=ALL-UNNAMED");
        addEach(config, host, "addexports", "--add-exports=", "=ALL-UNNAMED");
    }
    if (release >= 22)
        addEach(config, host, "enablenativeaccess", "--enable-native-access=", "");
}

} // namespace tarn
