// Every call the launcher makes into the running VM, and the interrupt handler
// that ends the VM when the console is interrupted.
#include "base/convert.h"
#include "jvm/java_host.h"
#include "platform/platform.h"

namespace tarn {

static_assert(sizeof(jchar) == sizeof(char16_t), "JNI strings are UTF-16 code units");

bool checkAndClearException(JNIEnv* env, bool describe) {
    jthrowable pending = env->ExceptionOccurred();
    if (pending == nullptr)
        return false;
    if (describe)
        env->ExceptionDescribe();
    env->ExceptionClear();
    env->DeleteLocalRef(pending);
    return true;
}

bool JavaHost::getJavaVersion(ByteString& version) {
    version = ByteString();
    if (env_ == nullptr)
        return false;
    jclass system = env_->FindClass("java/lang/System");
    if (system == nullptr) {
        checkAndClearException(env_, false);
        return false;
    }
    jmethodID getProperty =
        env_->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    if (getProperty == nullptr) {
        checkAndClearException(env_, false);
        env_->DeleteLocalRef(system);
        return false;
    }
    jstring key = env_->NewStringUTF("java.version");
    jstring value = static_cast<jstring>(env_->CallStaticObjectMethod(system, getProperty, key));
    if (value != nullptr) {
        const jchar* chars = env_->GetStringChars(value, nullptr);
        jsize length = env_->GetStringLength(value);
        if (chars != nullptr) {
            WideString wide;
            for (jsize i = 0; i < length && chars[i] != 0; ++i)
                wide.appendOne(char16_t(chars[i]));
            version = wideToAnsi(wide.cStr(), wide.length());
            env_->ReleaseStringChars(value, chars);
        }
    }
    checkAndClearException(env_, false);
    if (value != nullptr)
        env_->DeleteLocalRef(value);
    if (key != nullptr)
        env_->DeleteLocalRef(key);
    env_->DeleteLocalRef(system);
    return true;
}

void setSystemProperty(JNIEnv* env, char* entry) {
    char* value = entry;
    while (*value != 0 && *value != '=')
        ++value;
    if (*value == '=')
        *value++ = 0;

    jclass system = env->FindClass("java/lang/System");
    if (system == nullptr) {
        checkAndClearException(env, false);
        return;
    }
    jmethodID setProperty = env->GetStaticMethodID(
        system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (setProperty == nullptr) {
        checkAndClearException(env, false);
        env->DeleteLocalRef(system);
        return;
    }
    // JNI's modified UTF-8 spells a character beyond U+FFFF as its two surrogates.
    WideString nameUnits = utf8ToWide(entry);
    WideString valueUnits = utf8ToWide(value);
    jstring name = env->NewStringUTF(wideToUtf8(nameUnits.cStr(), nameUnits.length()).cStr());
    jstring text = env->NewStringUTF(wideToUtf8(valueUnits.cStr(), valueUnits.length()).cStr());
    jobject previous = env->CallStaticObjectMethod(system, setProperty, name, text);
    // An empty name makes Java throw; no JNI call may follow with it pending.
    checkAndClearException(env, false);
    if (previous != nullptr)
        env->DeleteLocalRef(previous);
    if (text != nullptr)
        env->DeleteLocalRef(text);
    if (name != nullptr)
        env->DeleteLocalRef(name);
    env->DeleteLocalRef(system);
}

jclass JavaHost::findClass(const char* className) {
    if (env_ == nullptr)
        return nullptr;
    ByteString name(className);
    for (int32_t i = 0; i < name.length(); ++i)
        if (name[i] == '.')
            name[i] = '/';
    jclass found = env_->FindClass(name.cStr());
    if (found == nullptr)
        checkAndClearException(env_, true);
    return found;
}

ResultCode JavaHost::runMainClass(const char* mainClass, const StringList& argvEntries, int argc,
                                  char** argv, int extraCount, char** extra) {
    jclass cls = findClass(mainClass);
    if (cls == nullptr)
        return resultNoMainClass;
    jmethodID main = env_->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)V");
    if (main == nullptr) {
        checkAndClearException(env_, true);
        env_->DeleteLocalRef(cls);
        return resultNoMainMethod;
    }

    // Splitting rewrites the text, so it works on a copy of the entries.
    StringList entries(argvEntries);
    Array<char*> words;
    for (int32_t i = 0; i < entries.count(); ++i)
        splitArguments(words, entries.item(i));

    jobjectArray args = buildArgumentArray(words, argc, argv, extraCount, extra);
    if (args != nullptr) {
        env_->CallStaticVoidMethod(cls, main, args);
        env_->DeleteLocalRef(args);
    }
    // Whatever escaped main, or an exhausted heap while building its arguments,
    // stays pending: as with java, the thread's uncaught-exception handler gets
    // it when the thread leaves the VM.
    jthrowable escaped = env_->ExceptionOccurred();
    env_->DeleteLocalRef(cls);
    if (escaped == nullptr)
        return resultOk;
    env_->DeleteLocalRef(escaped);
    return resultMainThrew;
}

static inline bool isBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

int splitArguments(Array<char*>& words, char* text) {
    // Output never runs ahead of input, so the words are written over the text.
    const char* in = text;
    char* out = text;
    bool inQuotes = false;
    for (;;) {
        while (isBlank(*in))
            ++in;
        if (*in == 0)
            break;
        words.appendOne(out);
        while (*in != 0 && (inQuotes || !isBlank(*in))) {
            if (*in == '\\') {
                int32_t run = 0;
                while (in[run] == '\\')
                    ++run;
                if (in[run] == '"') {
                    for (int32_t i = 0; i < run / 2; ++i)
                        *out++ = '\\';
                    in += run;
                    // An odd run escapes the quote; an even one leaves it to switch.
                    if (run % 2 == 1)
                        *out++ = *in++;
                } else {
                    for (int32_t i = 0; i < run; ++i)
                        *out++ = '\\';
                    in += run;
                }
            } else if (*in == '"') {
                inQuotes = !inQuotes;
                ++in;
            } else {
                *out++ = *in++;
            }
        }
        bool atEnd = *in == 0;
        if (!atEnd)
            ++in; // the blank that ended the word, possibly about to be overwritten
        *out++ = 0;
        if (atEnd)
            break;
    }
    return words.length();
}

jobjectArray JavaHost::buildArgumentArray(const Array<char*>& words, int argc, char** argv,
                                          int extraCount, char** extra) {
    jclass stringClass = env_->FindClass("java/lang/String");
    if (stringClass == nullptr)
        return nullptr;
    jsize total = jsize(words.length() + argc + extraCount);
    jobjectArray array = env_->NewObjectArray(total, stringClass, nullptr);
    env_->DeleteLocalRef(stringClass);
    if (array == nullptr)
        return nullptr;

    char* const* lists[3] = {words.data(), argv, extra};
    int counts[3] = {words.length(), argc, extraCount};
    jsize index = 0;
    for (int list = 0; list < 3; ++list) {
        for (int i = 0; i < counts[list]; ++i) {
            WideString wide = ansiToWide(lists[list][i]);
            // Our UTF-16 units are JNI's jchar; NewString copies them.
            jstring element =
                env_->NewString(reinterpret_cast<const jchar*>(wide.cStr()), jsize(wide.length()));
            if (element == nullptr) {
                env_->DeleteLocalRef(array);
                return nullptr;
            }
            env_->SetObjectArrayElement(array, index++, element);
            env_->DeleteLocalRef(element);
        }
    }
    return array;
}

void callSystemExit(JNIEnv* env, int status) {
    jclass system = env->FindClass("java/lang/System");
    if (system == nullptr) {
        checkAndClearException(env, false);
        return;
    }
    jmethodID exit = env->GetStaticMethodID(system, "exit", "(I)V");
    if (exit != nullptr)
        env->CallStaticVoidMethod(system, exit, jint(status));
    checkAndClearException(env, false);
    env->DeleteLocalRef(system);
}

static platform::InterruptHandler previousInterruptHandler = nullptr;
static platform::InterruptHandler previousTerminateHandler = nullptr;

// SIG_DFL, SIG_IGN, SIG_ERR and the C runtime's SIG_GET, SIG_SGE and SIG_ACK are
// markers, not functions.
static bool isSpecialHandler(platform::InterruptHandler handler) {
    intptr_t value = reinterpret_cast<intptr_t>(handler);
    return value >= -1 && value <= 4;
}

void installInterruptHandlers() {
    previousInterruptHandler =
        platform::installInterruptHandler(platform::interruptSignal, onInterruptSignal);
    previousTerminateHandler =
        platform::installInterruptHandler(platform::terminateSignal, onInterruptSignal);
}

// Runs on a thread of its own, never inside a signal handler: Windows delivers
// console events on a new thread, and on Linux the signal only wakes the
// platform layer's watcher thread, since JNI is not async-signal-safe.
void onInterruptSignal(int sig) {
    // The lock keeps teardown from forgetting the VM while this is inside it.
    JavaVM* vm = enterVmForInterrupt();
    if (vm != nullptr) {
        JNIEnv* env = nullptr;
        if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == JNI_OK) {
            if (env != nullptr)
                callSystemExit(env, 0);
            vm->DetachCurrentThread();
        }
    }
    leaveVmForInterrupt();

    platform::InterruptHandler previous;
    if (sig == platform::interruptSignal)
        previous = previousInterruptHandler;
    else if (sig == platform::terminateSignal)
        previous = previousTerminateHandler;
    else
        return;
    if (previous != nullptr && !isSpecialHandler(previous))
        previous(sig);
}

} // namespace tarn
