// The Java runtime inside the launcher's process: VM options, the loaded
// runtime library, the JavaVM and the main thread's JNIEnv.
#pragma once

#include "base/string.h"
#include "base/string_list.h"
#include "core/result_code.h"
#include "platform/platform.h"

#include <jni.h>

namespace tarn {

class JavaHost {
  public:
    JavaHost() {}
    ~JavaHost();
    JavaHost(const JavaHost&) = delete;
    JavaHost& operator=(const JavaHost&) = delete;

    // ---- Loading and creation (java_host.cpp) ----
    void addOption(const char* text);
    // The JNI "vfprintf" option: every text the VM prints goes through hook.
    void setPrintHook(void* hook) { printHook_ = hook; }
    // loadRuntime, then startVm.
    ResultCode createVm(const char* libraryPath);
    // Loads the runtime library: 0, or 2 when it cannot be loaded or lacks
    // JNI_CreateJavaVM.
    ResultCode loadRuntime(const char* libraryPath);
    // The stack java gives the thread that runs main: the last -Xss or
    // -XX:ThreadStackSize= option, else the loaded VM's default (0: the system's).
    uint64_t mainThreadStackSize();
    // Creates the VM on the calling thread, which becomes its "main": 0 or 4.
    ResultCode startVm();
    // Detaches the calling thread (an exception still pending goes to its
    // uncaught-exception handler) and destroys the VM, which first waits for the
    // application's threads. Interrupts reach the VM until it is gone.
    void destroyVm();
    // destroyVm, then unloads the runtime library.
    void unload();
    const StringList& options() const { return optionList_; }
    JavaVM* javaVm() const { return javaVm_; }
    JNIEnv* env() const { return env_; }

    // ---- Calls into Java (java_calls.cpp) ----
    bool getJavaVersion(ByteString& version);
    jclass findClass(const char* className);
    // Why an existing main class could not be initialised ("java.lang.
    // NoClassDefFoundError: lib/Greeting"); empty when it was simply not found.
    const ByteString& mainClassFailure() const { return mainClassFailure_; }
    ResultCode runMainClass(const char* mainClass, const StringList& argvEntries, int argc,
                            char** argv, int extraCount, char** extra);
    jobjectArray buildArgumentArray(const Array<char*>& words, int argc, char** argv,
                                    int extraCount, char** extra);

  private:
    StringList optionList_;
    void* printHook_ = nullptr;
    void* runtimeLibrary_ = nullptr;
    void* createJavaVm_ = nullptr;
    JavaVM* javaVm_ = nullptr;
    JNIEnv* env_ = nullptr;
    // An interrupt handler was inside the VM when it ended: the library stays.
    bool libraryInUse_ = false;
    ByteString mainClassFailure_;
};

// The interrupt handler's way into the VM: enterVmForInterrupt takes a lock and
// returns the running VM (null before creation and once DestroyJavaVM has
// returned); leaveVmForInterrupt releases the lock. Teardown takes the same
// lock before the VM is forgotten and its library unloaded.
JavaVM* enterVmForInterrupt();
void leaveVmForInterrupt();

// Prints the system's text for the last load failure, "%1" replaced by the path.
void reportLibraryLoadError(const char* libraryPath);

bool checkAndClearException(JNIEnv* env, bool describe);
// entry: modifiable "name=value" in modified UTF-8.
void setSystemProperty(JNIEnv* env, char* entry);
// Splits text in place by the command-line quoting rules; appends word starts.
int splitArguments(Array<char*>& words, char* text);
void callSystemExit(JNIEnv* env, int status);
void installInterruptHandlers();
void onInterruptSignal(int sig);

// The run's VM host, published by the entry; null once teardown has begun.
extern JavaHost* volatile currentHost;

} // namespace tarn
