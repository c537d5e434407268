// The launch, read top to bottom: each step is one named call.
#include "core/launch.h"

#include "base/string_list.h"
#include "cache/runtime_cache.h"
#include "classpath/class_path.h"
#include "config/launch_config.h"
#include "core/messages.h"
#include "jvm/java_host.h"
#include "platform/platform.h"
#include "runtime/locator.h"
#include "runtime/version.h"

#include <stdio.h>

namespace tarn {

namespace {

void applyExports(LaunchConfig& config) {
    StringList exports;
    config.collectValues("export", exports, false, true);
    for (int32_t i = 0; i < exports.count(); ++i)
        if (strchr(exports.item(i), '='))
            platform::putEnv(exports.item(i));
}

void addLauncherOptions(LaunchConfig& config, JavaHost& host) {
    StringList options;
    config.collectValues("option", options, false, true);
    for (int32_t i = 0; i < options.count(); ++i)
        host.addOption(options.item(i));
    // After the configured ones: for a property given twice the VM keeps the last.
    ByteString option = ByteString::concat("-Djava.class.path=", ClassPathBuilder::build(config));
    host.addOption(option.cStr());
    option = ByteString::concat("-Dtarn.app.path=", config.exePath());
    host.addOption(option.cStr());
    option = ByteString::concat("-Dapplication.home=", config.appHome());
    host.addOption(option.cStr());
}

void setProperties(LaunchConfig& config, JavaHost& host) {
    StringList properties;
    config.collectValues("property", properties, false, false);
    for (int32_t i = 0; i < properties.count(); ++i)
        setSystemProperty(host.env(), properties.item(i));
}

ResultCode checkVersion(JavaHost& host, const ByteString& minJre, const ByteString& maxJre,
                        ByteString& version) {
    if (minJre.isEmpty() && maxJre.isEmpty())
        return resultOk;
    if (!host.getJavaVersion(version))
        return resultNoVersion;
    int low[4], actual[4], high[4];
    int lowCount = parseVersion(minJre.cStr(), low);
    int actualCount = parseVersion(version.cStr(), actual);
    int highCount = parseVersion(maxJre.cStr(), high);
    if (compareVersions(actual, actualCount, low, lowCount) < 0)
        return resultVersionTooLow;
    if (compareVersions(actual, actualCount, high, highCount) > 0)
        return resultVersionTooHigh;
    return resultOk;
}

void report(ResultCode result, const ByteString& version, const ByteString& minJre,
            const ByteString& maxJre) {
    ByteString text = loadMessage(result);
    const ByteString* folder = EmbeddedRuntime::failedFolder();
    if (result == resultRuntimeNotExtracted && folder) {
        const char* args[1] = {folder->cStr()};
        ByteString formatted;
        formatMessage(formatted, text.cStr(), args, 1);
        text = formatted;
    }
    if (result == resultVersionTooLow || result == resultVersionTooHigh) {
        const char* args[5] = {version.cStr(), minJre.cStr(), maxJre.cStr(), "", ""};
        ByteString formatted;
        formatMessage(formatted, text.cStr(), args, 5);
        text = formatted;
    }
    platform::reportError(text.cStr());
}

} // namespace

ResultCode runLaunchSequence(int argc, char** argv, PreMainCallback preMain, int extraCount,
                             char** extra) {
    LaunchConfig& config = *currentConfig;
    JavaHost& host = *currentHost;
    ByteString minJre = config.minJre();
    ByteString maxJre = config.maxJre();
    ByteString version;

    applyExports(config);
    addLauncherOptions(config, host);
    ResultCode result = resultOk;
    ByteString library = RuntimeLocator::locate(config);
    if (EmbeddedRuntime::failedFolder())
        result = resultRuntimeNotExtracted;
    else if (library.isEmpty())
        result = resultNoRuntime;
    if (result == resultOk)
        result = host.createVm(library.cStr());
    if (result == resultOk) {
        setProperties(config, host);
        result = checkVersion(host, minJre, maxJre, version);
    }
    if (result == resultOk) {
        if (preMain)
            preMain();
        StringList words;
        config.collectValues("argv", words, false, true);
        result = host.runMainClass(config.mainClass().cStr(), words, argc, argv, extraCount, extra);
    }
    if (result != resultOk)
        report(result, version, minJre, maxJre);
    return result;
}

} // namespace tarn
