// Loading the Java runtime library, creating the VM and tearing both down.
#include "jvm/java_host.h"

#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

namespace tarn {

typedef jint(JNICALL* CreateJavaVmFunction)(JavaVM**, void**, void*);

JavaHost* volatile currentHost = nullptr;

JavaHost::~JavaHost() {
    unload();
}

void JavaHost::addOption(const char* text) {
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

    CreateJavaVmFunction createJavaVm = reinterpret_cast<CreateJavaVmFunction>(
        platform::librarySymbol(runtimeLibrary_, "JNI_CreateJavaVM"));
    if (createJavaVm == nullptr)
        return resultRuntimeInvalid;

    int32_t count = optionList_.count();
    Array<JavaVMOption> options;
    options.resize(count);
    if (count > 0)
        memset(options.data(), 0, size_t(count) * sizeof(JavaVMOption));
    for (int32_t i = 0; i < count; ++i)
        options[i].optionString = optionList_.item(i);

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
    return resultOk;
}

void JavaHost::unload() {
    if (javaVm_ != nullptr) {
        // DestroyJavaVM returns only after the application's non-daemon threads end.
        javaVm_->DetachCurrentThread();
        javaVm_->DestroyJavaVM();
        javaVm_ = nullptr;
        env_ = nullptr;
    }
    if (runtimeLibrary_ != nullptr) {
        platform::freeLibrary(runtimeLibrary_);
        runtimeLibrary_ = nullptr;
    }
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
