// Loading the Java runtime library, creating the VM and tearing both down.
#include "jvm/java_host.h"

#include "base/trace.h"
#include "jvm/thread_stack.h"
#include "platform/platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace tarn {

typedef jint(JNICALL* CreateJavaVmFunction)(JavaVM**, void**, void*);
typedef jint(JNICALL* DefaultInitArgsFunction)(void*);

// The JDK 1.1 initialisation arguments: asked for with version 1.1, a VM still
// reports its default thread stack size in javaStackSize (the java command
// relies on this too).
struct Jdk11InitArgs {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
    jint minHeapSize;
    jint maxHeapSize;
    jint verifyMode;
    char* classpath;
    jint(JNICALL* vfprintf)(FILE* fp, const char* format, va_list args);
    void(JNICALL* exit)(jint code);
    void(JNICALL* abort)(void);
    jint enableClassGC;
    jint enableVerboseGC;
    jint disableAsyncGC;
    jint verbose;
    jboolean debugging;
    jint debugPort;
};

JavaHost* volatile currentHost = nullptr;

namespace {
platform::Lock interruptLock;
JavaVM* interruptibleVm = nullptr; // guarded by interruptLock
} // namespace

JavaVM* enterVmForInterrupt() {
    platform::acquireLock(interruptLock);
    return interruptibleVm;
}

void leaveVmForInterrupt() {
    platform::releaseLock(interruptLock);
}

JavaHost::~JavaHost() {
    unload();
}

void JavaHost::addOption(const char* text) {
    trace("VM option: %s", text);
    optionList_.add(text);
}

// The runtime's companion libraries live one level above the VM library
// (bin/ above bin/server/), so that directory goes at the end of PATH.
static void appendRuntimeDirToPath(const char* libraryPath) {
    ByteString path(libraryPath);
    ByteString dir = path.left(path.findLastOf("/\\") + 1);
    dir.append("..");

    const char* current = platform::getEnv("PATH");
    ByteString assignment("PATH=");
    assignment.append(current ? current : "");
    // PATH entries are split at the same character as class path entries.
    assignment.appendChar(platform::classPathSeparator);
    assignment.append(dir);
    platform::putEnv(assignment.cStr());
}

ResultCode JavaHost::createVm(const char* libraryPath) {
    ResultCode result = loadRuntime(libraryPath);
    return result == resultOk ? startVm() : result;
}

ResultCode JavaHost::loadRuntime(const char* libraryPath) {
    // A missing dependency of the runtime must fail the load, not open a dialog.
    platform::disableErrorDialogs();
    // The launch names a directory in its own message; the system's text would be
    // a second, less clear line.
    if (platform::isDirectory(libraryPath))
        return resultRuntimeInvalid;

    runtimeLibrary_ = platform::loadLibrary(libraryPath);
    if (runtimeLibrary_ == nullptr) {
        appendRuntimeDirToPath(libraryPath);
        runtimeLibrary_ = platform::loadLibrary(libraryPath);
        if (runtimeLibrary_ == nullptr) {
            reportLibraryLoadError(libraryPath);
            return resultRuntimeInvalid;
        }
    }

    createJavaVm_ = platform::librarySymbol(runtimeLibrary_, "JNI_CreateJavaVM");
    return createJavaVm_ != nullptr ? resultOk : resultRuntimeInvalid;
}

uint64_t JavaHost::mainThreadStackSize() {
    uint64_t size = stackSizeFromOptions(optionList_);
    if (size != 0 || runtimeLibrary_ == nullptr)
        return size;
    DefaultInitArgsFunction defaults = reinterpret_cast<DefaultInitArgsFunction>(
        platform::librarySymbol(runtimeLibrary_, "JNI_GetDefaultJavaVMInitArgs"));
    if (defaults == nullptr)
        return 0;
    Jdk11InitArgs args;
    memset(&args, 0, sizeof args);
    args.version = JNI_VERSION_1_1;
    // The VM answers JNI_ERR for version 1.1 and fills in the size all the same.
    defaults(&args);
    return args.javaStackSize > 0 ? uint64_t(args.javaStackSize) : 0;
}

// The VM reads its options in the system's code page (the ANSI code page on
// Windows). A path in an option's value that the page cannot spell goes in its
// short form, which it can; a -D property is then set again, exactly, once the
// VM runs.
static ByteString spellForVm(const char* option, StringList& exactProperties) {
    ByteString spelled;
    if (platform::toCodePage(option, spelled))
        return spelled;
    const char* value = strchr(option, '=');
    if (value == nullptr)
        return spelled;
    ByteString text(option, int32_t(value + 1 - option));
    for (const char* p = value + 1;; ++p) {
        const char* end = strchr(p, platform::classPathSeparator);
        if (end == nullptr)
            end = p + strlen(p);
        ByteString entry(p, int32_t(end - p));
        ByteString shortForm, unused;
        if (!platform::toCodePage(entry.cStr(), unused) &&
            platform::shortPathName(entry.cStr(), shortForm))
            entry = shortForm;
        text.append(entry);
        if (*end == 0)
            break;
        text.appendChar(platform::classPathSeparator);
        p = end;
    }
    platform::toCodePage(text.cStr(), spelled);
    if (strncmp(option, "-D", 2) == 0)
        exactProperties.add(option + 2);
    return spelled;
}

ResultCode JavaHost::startVm() {
    CreateJavaVmFunction createJavaVm = reinterpret_cast<CreateJavaVmFunction>(createJavaVm_);
    if (createJavaVm == nullptr)
        return resultRuntimeInvalid;

    int32_t count = optionList_.count();
    StringList spelled, exactProperties;
    for (int32_t i = 0; i < count; ++i)
        spelled.add(spellForVm(optionList_.item(i), exactProperties));
    Array<JavaVMOption> options;
    options.resize(count + 1);
    memset(options.data(), 0, size_t(count + 1) * sizeof(JavaVMOption));
    for (int32_t i = 0; i < count; ++i)
        options[i].optionString = spelled.item(i);
    if (printHook_ != nullptr) {
        options[count].optionString = const_cast<char*>("vfprintf");
        options[count].extraInfo = printHook_;
        ++count;
    }

    JavaVMInitArgs args;
    memset(&args, 0, sizeof args);
    args.version = JNI_VERSION_1_2;
    args.nOptions = jint(count);
    args.options = options.data();
    args.ignoreUnrecognized = JNI_TRUE;

    jint created = createJavaVm(&javaVm_, reinterpret_cast<void**>(&env_), &args);

    // The VM keeps its own copies of the option strings.
    options.reset();
    optionList_.reset();

    if (created != JNI_OK) {
        javaVm_ = nullptr;
        env_ = nullptr;
        return resultVmStartFailed;
    }
    for (int32_t i = 0; i < exactProperties.count(); ++i)
        setSystemProperty(env_, exactProperties.item(i));
    platform::acquireLock(interruptLock);
    interruptibleVm = javaVm_;
    platform::releaseLock(interruptLock);
    return resultOk;
}

void JavaHost::destroyVm() {
    JavaVM* vm = javaVm_;
    if (vm == nullptr)
        return;
    javaVm_ = nullptr;
    env_ = nullptr;
    vm->DetachCurrentThread();
    // Returns once the application's non-daemon threads have ended; an interrupt
    // meanwhile still runs System.exit, and with it the shutdown hooks.
    vm->DestroyJavaVM();
    // A handler that entered as the VM ended may never come back out of it; it
    // is not waited for, and the library it is in stays loaded.
    if (platform::tryAcquireLock(interruptLock)) {
        interruptibleVm = nullptr;
        platform::releaseLock(interruptLock);
    } else {
        libraryInUse_ = true;
    }
}

void JavaHost::unload() {
    destroyVm();
    if (runtimeLibrary_ != nullptr && !libraryInUse_)
        platform::freeLibrary(runtimeLibrary_);
    runtimeLibrary_ = nullptr;
    createJavaVm_ = nullptr;
}

void reportLibraryLoadError(const char* libraryPath) {
    ByteString text;
    if (!platform::lastLoadErrorText(text)) {
        ByteString line = ByteString::concat("Cannot load ", ByteString(libraryPath));
        line.append(".");
        platform::reportError(line.cStr());
        return;
    }
    // Left to right, resuming after each insert: a "%1" inside the path stays.
    ByteString message;
    const char* p = text.cStr();
    const char* end = p + text.length();
    while (p < end) {
        if (p[0] == '%' && p + 1 < end && p[1] == '1') {
            message.append(libraryPath);
            p += 2;
        } else {
            message.appendChar(*p++);
        }
    }
    platform::reportError(message.cStr());
}

} // namespace tarn
