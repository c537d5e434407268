// The VM reads "--add-opens=M/P=ALL-UNNAMED" and its siblings itself and turns
// them into its internal jdk.module.* properties; those properties given as -D
// options are ignored, so the option forms are the ones to pass.
#include "core/module_access.h"

#include "base/convert.h"
#include "base/string_list.h"
#include "config/launch_config.h"
#include "jvm/java_host.h"
#include "runtime/release.h"
#include "runtime/version.h"

namespace tarn {

namespace {

// The feature release of the runtime that library belongs to; 0 when unknown.
int libraryRelease(const ByteString& library) {
    ByteString version;
    return readLibraryVersion(library.cStr(), version) ? featureRelease(version.cStr()) : 0;
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

void noteValue(void* any, const char* value) {
    if (*value != 0)
        *static_cast<bool*>(any) = true;
}

} // namespace

// The JDK's own launcher loads such an agent through InstrumentationImpl, which
// reads the class name from the manifest of the JAR it is given: the program
// itself. JNI calls need no export of that package; the class exists from 9 on.
void startLauncherAgent(const LaunchConfig& config, JavaHost& host) {
    JNIEnv* env = host.env();
    if (env == nullptr || config.lookup("launcheragent", false, true).isEmpty())
        return;
    jclass instrumentation = env->FindClass("sun/instrument/InstrumentationImpl");
    jmethodID loadAgent =
        instrumentation == nullptr
            ? nullptr
            : env->GetStaticMethodID(instrumentation, "loadAgent", "(Ljava/lang/String;)V");
    if (loadAgent == nullptr) {
        checkAndClearException(env, false); // a runtime before 9: no such agents
    } else {
        WideString path = ansiToWide(config.exePath().cStr());
        jstring jarPath =
            env->NewString(reinterpret_cast<const jchar*>(path.cStr()), jsize(path.length()));
        if (jarPath != nullptr) {
            env->CallStaticVoidMethod(instrumentation, loadAgent, jarPath);
            env->DeleteLocalRef(jarPath);
        }
        checkAndClearException(env, true);
    }
    if (instrumentation != nullptr)
        env->DeleteLocalRef(instrumentation);
}

void addModuleAccessOptions(const LaunchConfig& config, JavaHost& host, const ByteString& library) {
    // Most programs have none of the keys: no release file is read for them.
    static const char* const keys[] = {"addopens", "addexports", "enablenativeaccess"};
    bool any = false;
    for (const char* key : keys)
        config.findValue(key, noteValue, &any, false, false);
    if (!any)
        return;
    int release = libraryRelease(library);
    if (release >= 9) {
        addEach(config, host, "addopens", "--add-opens=", "=ALL-UNNAMED");
        addEach(config, host, "addexports", "--add-exports=", "=ALL-UNNAMED");
    }
    if (release >= 22)
        addEach(config, host, "enablenativeaccess", "--enable-native-access=", "");
}

} // namespace tarn
