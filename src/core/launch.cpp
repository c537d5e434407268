// The launch, read top to bottom: each step is one named call.
#include "core/launch.h"

#include "base/string_list.h"
#include "base/trace.h"
#include "cache/class_cache.h"
#include "cache/runtime_cache.h"
#include "classpath/class_path.h"
#include "config/launch_config.h"
#include "core/messages.h"
#include "core/module_access.h"
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

void traceMainCall(const ByteString& mainClass, const StringList& words, int argc, char** argv,
                   int extraCount, char** extra) {
    if (!traceEnabled())
        return;
    trace("main class: %s", mainClass.cStr());
    for (int32_t i = 0; i < words.count(); ++i)
        trace("argument (argv): %s", words.item(i));
    for (int i = 0; i < argc; ++i)
        trace("argument (command line): %s", argv[i]);
    for (int i = 0; i < extraCount; ++i)
        trace("argument: %s", extra[i]);
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

void report(ResultCode result, const JavaHost& host, const ByteString& library,
            const ByteString& version, const ByteString& minJre, const ByteString& maxJre,
            const StringList& passedOver) {
    int text = result;
    ByteString mainClass = currentConfig->mainClass();
    const char* args[5] = {version.cStr(), minJre.cStr(), maxJre.cStr(), "", ""};
    if (result == resultNoMainClass && !host.mainClassFailure().isEmpty()) {
        text = messageMainClassNotInitialized;
        args[0] = mainClass.cStr();
        args[1] = host.mainClassFailure().cStr();
    } else if (result == resultVersionTooHigh && minJre.isEmpty() &&
               !hasMessageOverride(resultVersionTooHigh)) {
        text = messageVersionAboveMax; // no lower bound to name
        args[1] = maxJre.cStr();
    } else if (result == resultRuntimeInvalid && platform::isDirectory(library.cStr())) {
        text = messageLibraryIsDirectory;
        args[0] = library.cStr();
    } else if (result == resultRuntimeNotExtracted && EmbeddedRuntime::failedFolder()) {
        args[0] = EmbeddedRuntime::failedFolder()->cStr();
    } else if (result != resultVersionTooLow && result != resultVersionTooHigh) {
        ByteString message = loadMessage(result);
        // Below "not found": what was installed but unusable, so the user knows
        // what to install. One text, so that a windowless program shows one box.
        for (int32_t i = 0; result == resultNoRuntime && i < passedOver.count(); ++i) {
            message.append("\n");
            message.append(passedOver.item(i));
        }
        platform::reportError(message.cStr());
        return;
    }
    ByteString formatted;
    formatMessage(formatted, loadMessage(text).cStr(), args, 5);
    platform::reportError(formatted.cStr());
}

// Everything from VM creation to its end, on the thread that runs main.
struct VmRun {
    LaunchConfig* config;
    JavaHost* host;
    int argc;
    char** argv;
    PreMainCallback preMain;
    int extraCount;
    char** extra;
    ResultCode result;
};

void runVm(void* context) {
    VmRun& run = *static_cast<VmRun*>(context);
    LaunchConfig& config = *run.config;
    JavaHost& host = *run.host;
    ByteString minJre = config.minJre();
    ByteString maxJre = config.maxJre();
    ByteString version;

    ResultCode result = host.startVm();
    if (result == resultOk) {
        setProperties(config, host);
        result = checkVersion(host, minJre, maxJre, version);
    }
    if (result == resultOk) {
        startLauncherAgent(config, host);
        if (run.preMain)
            run.preMain();
        StringList words;
        config.collectValues("argv", words, false, true);
        ByteString mainClass = config.mainClass();
        traceMainCall(mainClass, words, run.argc, run.argv, run.extraCount, run.extra);
        result = host.runMainClass(mainClass.cStr(), words, run.argc, run.argv, run.extraCount,
                                   run.extra);
    }
    // Only main can end with an exception here, and the VM reports that one.
    if (result != resultOk && result != resultMainThrew)
        report(result, host, ByteString(), version, minJre, maxJre, StringList());
    host.destroyVm();
    run.result = result;
}

} // namespace

ResultCode runLaunchSequence(int argc, char** argv, PreMainCallback preMain, int extraCount,
                             char** extra) {
    LaunchConfig& config = *currentConfig;
    JavaHost& host = *currentHost;

    applyExports(config);
    addLauncherOptions(config, host);
    ResultCode result = resultOk;
    StringList passedOver;
    ByteString library = RuntimeLocator::locate(config, passedOver);
    if (EmbeddedRuntime::failedFolder())
        result = resultRuntimeNotExtracted;
    else if (library.isEmpty())
        result = resultNoRuntime;
    if (result == resultOk)
        result = host.loadRuntime(library.cStr());
    if (result == resultOk) {
        addModuleAccessOptions(config, host, library);
        addClassCacheOptions(config, host, library.cStr());
    }
    if (result != resultOk) {
        ByteString none;
        report(result, host, library, none, none, none, passedOver);
        return result;
    }
    // As java does: the VM and main get a thread whose stack is the -Xss size
    // (or the VM's default), while this one waits. Where no such thread can be
    // made, this one will do.
    VmRun run = {&config, &host, argc, argv, preMain, extraCount, extra, resultOk};
    if (!platform::runOnNewThread(host.mainThreadStackSize(), runVm, &run))
        runVm(&run);
    return run.result;
}

} // namespace tarn
