// The Java runtime inside the launcher's process: VM options, the loaded
// runtime library, the JavaVM and the main thread's JNIEnv.
#pragma once

#include "base/string.h"
#include "base/string_list.h"
#include "core/result_code.h"

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
    ResultCode createVm(const char* libraryPath);
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
    void* runtimeLibrary_ = nullptr;
    JavaVM* javaVm_ = nullptr;
    JNIEnv* env_ = nullptr;
    ByteString mainClassFailure_;
};

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
