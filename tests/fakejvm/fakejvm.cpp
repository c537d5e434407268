// A strict stand-in for a Java runtime library (jvm.dll / libjvm.so). It answers the
// few JNI calls a launcher needs, reports each one as a "FAKEJVM ..." line on standard
// output, and aborts loudly on anything else, so launcher tests can assert on exactly
// what the launcher asked of the VM.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include "platform.h"
#include "slot_names.h"
#include "text.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#ifdef FAKEJVM_NEEDS_COMPANION
extern "C" __declspec(dllimport) int fakejvm_companion_ping(void);
#endif

namespace fakejvm {
namespace {

const char kSystem[] = "java/lang/System";
const char kString[] = "java/lang/String";
const char kMainSig[] = "([Ljava/lang/String;)V";
// A launcher that never calls System.exit from another thread must not hang a test
// run forever.
const unsigned kBlockLimitMs = 600 * 1000;

enum class Kind { Class, String, Array, Throwable };
enum class Builtin { GetProperty, SetProperty, Exit, Main, ValueOf };

struct Method;

struct Object {
    Object(Kind k, std::string cls) : kind(k), class_name(std::move(cls)) {}
    Kind kind;
    std::string class_name; // slash form; for a Class, the name of the class it is
    std::vector<Method*> methods;
    std::u16string chars;
    Object* element_class = nullptr;
    std::vector<Object*> elements;
    std::string message; // of a Throwable, UTF-8
    bool has_message = false;
    std::string trace; // stack lines printed after a Throwable's first line
};

struct Method {
    Object* owner;
    std::string name;
    std::string sig;
    Builtin what;
};

struct Env {
    JNIEnv_ jni; // first member, so a JNIEnv* handed out is also this Env*
    unsigned long long thread;
    bool live;
    std::string thread_name;
    Object* pending;
};

struct Ref {
    Object* obj;
    Env* env;
    bool live;
};

using ExitHook = void(JNICALL*)(jint);

struct State {
    Mutex mutex;
    JavaVM_ vm;
    bool vm_live = false;
    std::set<const void*> envs;    // every Env ever made, to tell them from garbage
    std::set<const void*> refs;    // every Ref ever made
    std::set<const void*> methods; // every Method ever made
    std::map<std::string, Object*> classes;
    std::map<const jchar*, Object*> string_buffers; // handed out by GetStringChars
    std::map<std::u16string, std::u16string> properties;
    ExitHook exit_hook = nullptr;
    unsigned threads_attached = 0;
    bool exiting = false; // System.exit has begun
};

// Never destroyed: another thread may still be inside the double while the process
// exits.
State& S = *new State;

// ---------------------------------------------------------------------------------
// Reporting

void record(const std::string& line) {
    write_stdout("FAKEJVM " + line + "\n");
}

[[noreturn]] void fatal(const std::string& what) {
    write_stderr("FAKEJVM FATAL " + what + "\n");
    abort_process();
}

std::string hex(unsigned long long v) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    return "0x" + out;
}

std::string dotted(std::string name) {
    for (char& c : name) {
        if (c == '/') {
            c = '.';
        }
    }
    return name;
}

bool switch_on(const char* name) {
    auto v = get_env(name);
    return v && !v->empty() && *v != "0";
}

std::string main_class_name() {
    std::string name = get_env("FAKEJVM_MAIN_CLASS").value_or("app/Main");
    for (char& c : name) {
        if (c == '.') {
            c = '/';
        }
    }
    return name;
}

bool supported_version(jint v) {
    switch (v) {
    case JNI_VERSION_1_2:
    case JNI_VERSION_1_4:
    case JNI_VERSION_1_6:
    case JNI_VERSION_1_8:
    case JNI_VERSION_9:
    case JNI_VERSION_10:
    case 0x00130000: // 19
    case 0x00140000: // 20
    case 0x00150000: // 21
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------
// Calls, environments and references

class Call {
  public:
    // Every JNIEnv function starts here: it serialises the double's state and checks
    // the rules a real VM only enforces with -Xcheck:jni (or by crashing).
    Call(JNIEnv* jenv, const char* fn, bool pending_ok = false) : fn_(fn) {
        S.mutex.lock();
        if (jenv == nullptr || S.envs.count(jenv) == 0) {
            fatal(fn_ + ": JNIEnv pointer was not made by this VM");
        }
        env_ = reinterpret_cast<Env*>(jenv);
        if (!env_->live) {
            fatal(fn_ + ": JNIEnv used after DetachCurrentThread or DestroyJavaVM");
        }
        if (env_->thread != current_thread_id()) {
            fatal(fn_ + ": JNIEnv of thread \"" + env_->thread_name + "\" used on another thread");
        }
        if (!pending_ok && env_->pending != nullptr) {
            fatal(fn_ + ": called with a pending exception " + dotted(env_->pending->class_name) +
                  " (clear it first with ExceptionClear or ExceptionDescribe)");
        }
    }
    ~Call() {
        if (locked_) {
            S.mutex.unlock();
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    void unlock() {
        locked_ = false;
        S.mutex.unlock();
    }
    Env* env() const { return env_; }
    const std::string& fn() const { return fn_; }
    [[noreturn]] void fail(const std::string& why) const { fatal(fn_ + ": " + why); }

    jobject ref(Object* obj) const {
        if (obj == nullptr) {
            return nullptr;
        }
        Ref* r = new Ref{obj, env_, true};
        S.refs.insert(r);
        return reinterpret_cast<jobject>(r);
    }

    Ref* ref_record(jobject ref, const char* what) const {
        if (S.refs.count(ref) == 0) {
            fail(std::string(what) + " is not a reference made by this VM");
        }
        Ref* r = reinterpret_cast<Ref*>(ref);
        if (!r->live) {
            fail(std::string(what) + " is a deleted local reference");
        }
        if (!r->env->live) {
            fail(std::string(what) + " is a local reference of a detached thread or destroyed VM");
        }
        if (r->env != env_) {
            fail(std::string(what) + " is a local reference of thread \"" + r->env->thread_name +
                 "\"");
        }
        return r;
    }

    // nullptr for a null reference.
    Object* deref(jobject ref, const char* what) const {
        return ref == nullptr ? nullptr : ref_record(ref, what)->obj;
    }

    Object* need(jobject ref, Kind kind, const char* what) const {
        static const char* const names[] = {"class", "string", "array", "throwable"};
        Object* o = deref(ref, what);
        if (o == nullptr) {
            fail(std::string(what) + " is NULL");
        }
        if (o->kind != kind) {
            fail(std::string(what) + " is not a " + names[static_cast<int>(kind)]);
        }
        return o;
    }

    void throw_new(const char* cls, const std::string& msg, bool has_message = true,
                   std::string trace = {}) const {
        Object* t = new Object{Kind::Throwable, cls};
        t->message = msg;
        t->has_message = has_message;
        t->trace = std::move(trace);
        env_->pending = t;
    }

  private:
    std::string fn_;
    Env* env_ = nullptr;
    bool locked_ = true;
};

Env* new_env(const std::string& thread_name);

Object* new_string(std::u16string chars) {
    Object* s = new Object{Kind::String, kString};
    s->chars = std::move(chars);
    return s;
}

Method* add_method(Object* cls, const char* name, const char* sig, Builtin what) {
    Method* m = new Method{cls, name, sig, what};
    cls->methods.push_back(m);
    S.methods.insert(m);
    return m;
}

Object* class_object(const std::string& name) {
    auto it = S.classes.find(name);
    if (it != S.classes.end()) {
        return it->second;
    }
    Object* cls = new Object{Kind::Class, name};
    if (name == kSystem) {
        add_method(cls, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;",
                   Builtin::GetProperty);
        add_method(cls, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
                   Builtin::SetProperty);
        add_method(cls, "exit", "(I)V", Builtin::Exit);
    } else if (name == kString) {
        add_method(cls, "valueOf", "(Ljava/lang/Object;)Ljava/lang/String;", Builtin::ValueOf);
    } else {
        add_method(cls, "main", kMainSig, Builtin::Main);
    }
    S.classes[name] = cls;
    return cls;
}

// The runtime class name of an instance, as an array store check sees it.
std::string runtime_class(const Object* o) {
    return o->kind == Kind::Class ? std::string("java/lang/Class") : o->class_name;
}

// ---------------------------------------------------------------------------------
// The Java methods the double knows

std::optional<std::u16string> java_version() {
    auto it = S.properties.find(u"java.version");
    if (it != S.properties.end()) {
        return it->second; // System.setProperty may change it, as in Java
    }
    std::string v = get_env("FAKEJVM_VERSION").value_or("17.0.2");
    if (v == "<null>") {
        return std::nullopt;
    }
    return utf8_to_utf16(v);
}

std::optional<std::u16string> property(const std::u16string& key) {
    if (key == u"java.version") {
        return java_version();
    }
    auto it = S.properties.find(key);
    if (it == S.properties.end()) {
        return std::nullopt;
    }
    return it->second;
}

// System.checkKey
bool check_key(Call& c, Object* key) {
    if (key == nullptr) {
        c.throw_new("java/lang/NullPointerException", "key can't be null");
        return false;
    }
    if (key->chars.empty()) {
        c.throw_new("java/lang/IllegalArgumentException", "key can't be empty");
        return false;
    }
    return true;
}

jobject get_property(Call& c, const std::vector<jvalue>& args) {
    Object* key = c.deref(args[0].l, "argument 1");
    if (key != nullptr && key->kind != Kind::String) {
        c.fail("getProperty argument is not a String");
    }
    if (!check_key(c, key)) {
        return nullptr;
    }
    auto value = property(key->chars);
    record("getProperty " + record_utf16(key->chars) + " -> " +
           (value ? record_utf16(*value) : std::string("<null>")));
    return value ? c.ref(new_string(*value)) : nullptr;
}

jobject set_property(Call& c, const std::vector<jvalue>& args) {
    Object* key = c.deref(args[0].l, "argument 1");
    Object* value = c.deref(args[1].l, "argument 2");
    if ((key != nullptr && key->kind != Kind::String) ||
        (value != nullptr && value->kind != Kind::String)) {
        c.fail("setProperty arguments are not Strings");
    }
    if (!check_key(c, key)) {
        return nullptr;
    }
    if (value == nullptr) {
        c.throw_new("java/lang/NullPointerException", "", false);
        return nullptr;
    }
    auto old = property(key->chars);
    S.properties[key->chars] = value->chars;
    record("property " + record_utf16(key->chars) + "=" + record_utf16(value->chars));
    return old ? c.ref(new_string(*old)) : nullptr;
}

[[noreturn]] void system_exit(Call& c, jint status) {
    record("exit " + std::to_string(static_cast<long long>(status)));
    S.exiting = true;
    ExitHook hook = S.exit_hook;
    c.unlock();
    if (hook != nullptr) {
        hook(status); // a VM gives the launcher's exit hook the first go
    }
    exit_process(static_cast<int>(status));
}

void run_main(Call& c, Object* cls, const std::vector<jvalue>& args) {
    Object* arr = c.deref(args[0].l, "argument 1");
    if (arr == nullptr) {
        record("main " + record_bytes(cls->class_name) + " argc=null");
    } else {
        if (arr->kind != Kind::Array || arr->element_class->class_name != kString) {
            c.fail("main needs a String[] argument");
        }
        record("main " + record_bytes(cls->class_name) +
               " argc=" + std::to_string(arr->elements.size()));
        for (size_t i = 0; i < arr->elements.size(); ++i) {
            Object* s = arr->elements[i];
            record("arg[" + std::to_string(i) + "]=" + (s ? record_utf16(s->chars) : "<null>"));
        }
    }
    if (switch_on("FAKEJVM_THROW")) {
        c.throw_new("java/lang/RuntimeException", "FAKEJVM_THROW", true,
                    "\tat " + dotted(cls->class_name) + ".main(Main.java)\n");
        return;
    }
    if (switch_on("FAKEJVM_BLOCK")) {
        record("blocking");
        c.unlock(); // another thread must be able to call System.exit
        for (unsigned waited = 0; waited < kBlockLimitMs; waited += 50) {
            sleep_ms(50);
        }
        fatal("main blocked for 600 s and no thread called System.exit");
    }
}

// Parses a method signature's parameters into 'L' (reference), 'I' (int-sized), 'J'
// or 'D' (float or double, promoted in varargs).
std::string param_kinds(const std::string& sig) {
    std::string kinds;
    size_t i = 1;
    while (i < sig.size() && sig[i] != ')') {
        char t = sig[i];
        if (t == 'L' || t == '[') {
            while (sig[i] == '[') {
                ++i;
            }
            if (sig[i] == 'L') {
                i = sig.find(';', i);
            }
            kinds.push_back('L');
        } else if (t == 'J') {
            kinds.push_back('J');
        } else if (t == 'F' || t == 'D') {
            kinds.push_back('D');
        } else {
            kinds.push_back('I');
        }
        ++i;
    }
    return kinds;
}

enum class ArgForm { Varargs, Array };

struct CallTarget {
    Object* cls;
    Method* method;
};

CallTarget target(Call& c, jclass clazz, jmethodID mid, bool want_void) {
    Object* cls = c.need(clazz, Kind::Class, "class");
    if (mid == nullptr || S.methods.count(mid) == 0) {
        c.fail("method ID was not made by this VM");
    }
    Method* m = reinterpret_cast<Method*>(mid);
    if (m->owner != cls) {
        c.fail("method ID of " + dotted(m->owner->class_name) + "." + m->name +
               " used with class " + dotted(cls->class_name));
    }
    char ret = m->sig[m->sig.find(')') + 1];
    bool is_void = ret == 'V';
    bool is_object = ret == 'L' || ret == '[';
    if ((want_void && !is_void) || (!want_void && !is_object)) {
        c.fail("wrong return type for " + m->name + m->sig);
    }
    return {cls, m};
}

std::vector<jvalue> collect(const Method* m, va_list* ap, const jvalue* array) {
    std::string kinds = param_kinds(m->sig);
    std::vector<jvalue> args(kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (array != nullptr) {
            args[i] = array[i];
            continue;
        }
        switch (kinds[i]) {
        case 'L':
            args[i].l = va_arg(*ap, jobject);
            break;
        case 'J':
            args[i].j = va_arg(*ap, jlong);
            break;
        case 'D':
            args[i].d = va_arg(*ap, jdouble);
            break;
        default:
            args[i].i = va_arg(*ap, jint);
            break;
        }
    }
    return args;
}

// String.valueOf(Object): what toString gives for the kinds of object the double has.
jobject value_of(Call& c, const std::vector<jvalue>& args) {
    Object* o = c.deref(args[0].l, "argument 1");
    if (o != nullptr && o->kind == Kind::String) {
        return c.ref(new_string(o->chars));
    }
    std::string text = "null";
    if (o != nullptr && o->kind == Kind::Throwable) {
        text = dotted(o->class_name) + (o->has_message ? ": " + o->message : "");
    } else if (o != nullptr && o->kind == Kind::Class) {
        text = "class " + dotted(o->class_name);
    } else if (o != nullptr) {
        text = "[L" + dotted(o->element_class->class_name) + ";@" +
               hex(reinterpret_cast<uintptr_t>(o));
    }
    return c.ref(new_string(utf8_to_utf16(text)));
}

jobject invoke(Call& c, const CallTarget& t, const std::vector<jvalue>& args) {
    switch (t.method->what) {
    case Builtin::GetProperty:
        return get_property(c, args);
    case Builtin::SetProperty:
        return set_property(c, args);
    case Builtin::Exit:
        system_exit(c, args[0].i);
    case Builtin::Main:
        run_main(c, t.cls, args);
        return nullptr;
    case Builtin::ValueOf:
        return value_of(c, args);
    }
    return nullptr;
}

jobject call_static(JNIEnv* env, const char* fn, bool want_void, jclass clazz, jmethodID mid,
                    va_list* ap, const jvalue* array) {
    Call c(env, fn);
    CallTarget t = target(c, clazz, mid, want_void);
    if (ap == nullptr && array == nullptr && !param_kinds(t.method->sig).empty()) {
        c.fail("NULL jvalue array");
    }
    return invoke(c, t, collect(t.method, ap, array));
}

// ---------------------------------------------------------------------------------
// JNIEnv functions

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    Call c(env, "FindClass");
    if (name == nullptr) {
        c.fail("NULL name");
    }
    std::string n(name);
    bool known = n == kString || (n == kSystem && !switch_on("FAKEJVM_NO_SYSTEM")) ||
                 (n == main_class_name() && !switch_on("FAKEJVM_NO_CLASS"));
    if (!known) {
        c.throw_new("java/lang/NoClassDefFoundError", n);
        return nullptr;
    }
    return static_cast<jclass>(c.ref(class_object(n)));
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    Call c(env, "GetStaticMethodID");
    Object* cls = c.need(clazz, Kind::Class, "class");
    if (name == nullptr || sig == nullptr) {
        c.fail("NULL name or signature");
    }
    for (Method* m : cls->methods) {
        if (m->name != name || m->sig != sig) {
            continue;
        }
        if (m->what == Builtin::Main && switch_on("FAKEJVM_NO_MAIN")) {
            break;
        }
        return reinterpret_cast<jmethodID>(m);
    }
    c.throw_new("java/lang/NoSuchMethodError", name);
    return nullptr;
}

jobject JNICALL CallStaticObjectMethod(JNIEnv* env, jclass clazz, jmethodID mid, ...) {
    va_list ap;
    va_start(ap, mid);
    jobject r = call_static(env, "CallStaticObjectMethod", false, clazz, mid, &ap, nullptr);
    va_end(ap);
    return r;
}

jobject JNICALL CallStaticObjectMethodV(JNIEnv* env, jclass clazz, jmethodID mid, va_list args) {
    va_list ap;
    va_copy(ap, args);
    jobject r = call_static(env, "CallStaticObjectMethodV", false, clazz, mid, &ap, nullptr);
    va_end(ap);
    return r;
}

jobject JNICALL CallStaticObjectMethodA(JNIEnv* env, jclass clazz, jmethodID mid,
                                        const jvalue* args) {
    return call_static(env, "CallStaticObjectMethodA", false, clazz, mid, nullptr, args);
}

void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID mid, ...) {
    va_list ap;
    va_start(ap, mid);
    call_static(env, "CallStaticVoidMethod", true, clazz, mid, &ap, nullptr);
    va_end(ap);
}

void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass clazz, jmethodID mid, va_list args) {
    va_list ap;
    va_copy(ap, args);
    call_static(env, "CallStaticVoidMethodV", true, clazz, mid, &ap, nullptr);
    va_end(ap);
}

void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass clazz, jmethodID mid, const jvalue* args) {
    call_static(env, "CallStaticVoidMethodA", true, clazz, mid, nullptr, args);
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* bytes) {
    Call c(env, "NewStringUTF");
    if (bytes == nullptr) {
        c.fail("NULL bytes");
    }
    std::u16string chars;
    if (!modified_utf8_to_utf16(bytes, chars)) {
        c.fail("bytes are not modified UTF-8: \"" + record_bytes(bytes) + "\"");
    }
    return static_cast<jstring>(c.ref(new_string(std::move(chars))));
}

jstring JNICALL NewString(JNIEnv* env, const jchar* unicode, jsize len) {
    Call c(env, "NewString");
    if (len < 0 || (unicode == nullptr && len > 0)) {
        c.fail("bad buffer or length " + std::to_string(static_cast<long long>(len)));
    }
    std::u16string chars(reinterpret_cast<const char16_t*>(unicode), static_cast<size_t>(len));
    return static_cast<jstring>(c.ref(new_string(std::move(chars))));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring str) {
    Call c(env, "GetStringLength");
    return static_cast<jsize>(c.need(str, Kind::String, "string")->chars.size());
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    Call c(env, "GetStringChars");
    Object* s = c.need(str, Kind::String, "string");
    jchar* buf = new jchar[s->chars.size() + 1];
    std::memcpy(buf, s->chars.data(), s->chars.size() * sizeof(jchar));
    buf[s->chars.size()] = 0; // HotSpot terminates the copy too
    S.string_buffers[buf] = s;
    if (isCopy != nullptr) {
        *isCopy = JNI_TRUE;
    }
    return buf;
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring str, const jchar* chars) {
    Call c(env, "ReleaseStringChars", true);
    Object* s = c.need(str, Kind::String, "string");
    auto it = S.string_buffers.find(chars);
    if (it == S.string_buffers.end()) {
        c.fail("chars were not returned by GetStringChars or were already released");
    }
    if (it->second != s) {
        c.fail("chars belong to another string");
    }
    delete[] it->first;
    S.string_buffers.erase(it);
}

bool instance_of(const Object* o, const Object* cls) {
    return runtime_class(o) == cls->class_name;
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize len, jclass elementClass, jobject init) {
    Call c(env, "NewObjectArray");
    Object* cls = c.need(elementClass, Kind::Class, "element class");
    Object* fill = c.deref(init, "initial element");
    if (len < 0) {
        c.throw_new("java/lang/NegativeArraySizeException",
                    std::to_string(static_cast<long long>(len)));
        return nullptr;
    }
    if (fill != nullptr && !instance_of(fill, cls)) {
        c.throw_new("java/lang/ArrayStoreException", dotted(runtime_class(fill)));
        return nullptr;
    }
    Object* arr = new Object{Kind::Array, "[L" + cls->class_name + ";"};
    arr->element_class = cls;
    arr->elements.assign(static_cast<size_t>(len), fill);
    return static_cast<jobjectArray>(c.ref(arr));
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject val) {
    Call c(env, "SetObjectArrayElement");
    Object* arr = c.need(array, Kind::Array, "array");
    Object* v = c.deref(val, "value");
    if (index < 0 || static_cast<size_t>(index) >= arr->elements.size()) {
        c.throw_new("java/lang/ArrayIndexOutOfBoundsException",
                    "Index " + std::to_string(static_cast<long long>(index)) +
                        " out of bounds for length " + std::to_string(arr->elements.size()));
        return;
    }
    if (v != nullptr && !instance_of(v, arr->element_class)) {
        c.throw_new("java/lang/ArrayStoreException", dotted(runtime_class(v)));
        return;
    }
    arr->elements[static_cast<size_t>(index)] = v;
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject obj) {
    Call c(env, "DeleteLocalRef", true);
    if (obj != nullptr) {
        c.ref_record(obj, "reference")->live = false;
    }
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    Call c(env, "ExceptionOccurred", true);
    return static_cast<jthrowable>(c.ref(c.env()->pending));
}

jint JNICALL Throw(JNIEnv* env, jthrowable obj) {
    Call c(env, "Throw");
    c.env()->pending = c.need(obj, Kind::Throwable, "throwable");
    return JNI_OK;
}

// What Throwable.printStackTrace and the default uncaught-exception handler print.
std::string describe(const Env* e, const Object* t) {
    return "Exception in thread \"" + e->thread_name + "\" " + dotted(t->class_name) +
           (t->has_message ? ": " + t->message : "") + "\n" + t->trace;
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
    Call c(env, "ExceptionDescribe", true);
    Object* t = c.env()->pending;
    if (t == nullptr) {
        return;
    }
    c.env()->pending = nullptr; // printing clears it, as Throwable.printStackTrace does
    write_stderr(describe(c.env(), t));
}

void JNICALL ExceptionClear(JNIEnv* env) {
    Call c(env, "ExceptionClear", true);
    c.env()->pending = nullptr;
}

// ---------------------------------------------------------------------------------
// Tables: every slot first gets a stub that names itself and aborts

using Stub = void(JNICALL*)();

template <size_t N>
[[noreturn]] void unexpected(const char* const (&names)[N], size_t slot, const char* table) {
    fatal("unexpected JNI call " +
          (slot < N ? std::string(names[slot]) : table + (" slot " + std::to_string(slot))));
}

template <size_t I> void JNICALL env_stub() {
    unexpected(kEnvSlotNames, I, "JNIEnv");
}
template <size_t I> void JNICALL vm_stub() {
    unexpected(kVmSlotNames, I, "JavaVM");
}

template <typename Table, template <size_t> class Maker, size_t... I>
void fill_stubs(Table& table, std::index_sequence<I...>) {
    static_assert(sizeof(Table) == sizeof...(I) * sizeof(Stub), "table is all pointers");
    Stub stubs[] = {Maker<I>::value...};
    std::memcpy(&table, stubs, sizeof stubs);
}

template <size_t I> struct EnvStub { static constexpr Stub value = &env_stub<I>; };
template <size_t I> struct VmStub { static constexpr Stub value = &vm_stub<I>; };

JNINativeInterface_ make_env_table() {
    JNINativeInterface_ t;
    fill_stubs<JNINativeInterface_, EnvStub>(
        t, std::make_index_sequence<sizeof(JNINativeInterface_) / sizeof(Stub)>());
    t.FindClass = &FindClass;
    t.GetStaticMethodID = &GetStaticMethodID;
    t.CallStaticObjectMethod = &CallStaticObjectMethod;
    t.CallStaticObjectMethodV = &CallStaticObjectMethodV;
    t.CallStaticObjectMethodA = &CallStaticObjectMethodA;
    t.CallStaticVoidMethod = &CallStaticVoidMethod;
    t.CallStaticVoidMethodV = &CallStaticVoidMethodV;
    t.CallStaticVoidMethodA = &CallStaticVoidMethodA;
    t.NewStringUTF = &NewStringUTF;
    t.NewString = &NewString;
    t.GetStringChars = &GetStringChars;
    t.GetStringLength = &GetStringLength;
    t.ReleaseStringChars = &ReleaseStringChars;
    t.NewObjectArray = &NewObjectArray;
    t.SetObjectArrayElement = &SetObjectArrayElement;
    t.DeleteLocalRef = &DeleteLocalRef;
    t.ExceptionOccurred = &ExceptionOccurred;
    t.Throw = &Throw;
    t.ExceptionDescribe = &ExceptionDescribe;
    t.ExceptionClear = &ExceptionClear;
    return t;
}

const JNINativeInterface_ kEnvTable = make_env_table();

// ---------------------------------------------------------------------------------
// JavaVM functions

void check_vm(JavaVM* vm, const char* fn) {
    if (vm != &S.vm) {
        fatal(std::string(fn) + ": JavaVM pointer was not made by this VM");
    }
    if (!S.vm_live) {
        fatal(std::string(fn) + ": JavaVM used after DestroyJavaVM");
    }
}

Env* live_env_of_this_thread() {
    unsigned long long self = current_thread_id();
    for (const void* p : S.envs) {
        Env* e = const_cast<Env*>(static_cast<const Env*>(p));
        if (e->live && e->thread == self) {
            return e;
        }
    }
    return nullptr;
}

Env* new_env(const std::string& thread_name) {
    Env* e = new Env{JNIEnv_{}, current_thread_id(), true, thread_name, nullptr};
    e->jni.functions = &kEnvTable;
    S.envs.insert(e);
    return e;
}

jint JNICALL DestroyJavaVM(JavaVM* vm) {
    S.mutex.lock();
    check_vm(vm, "DestroyJavaVM");
    if (switch_on("FAKEJVM_LINGER")) {
        // An application thread that never ends: the VM waits for it, and only
        // System.exit from another thread ends the process.
        record("destroy waiting");
        S.mutex.unlock();
        for (unsigned waited = 0; waited < kBlockLimitMs; waited += 50) {
            sleep_ms(50);
        }
        fatal("DestroyJavaVM waited 600 s and no thread called System.exit");
    }
    LockGuard lock(S.mutex, LockGuard::adopt);
    record("destroy");
    for (const void* p : S.envs) {
        const_cast<Env*>(static_cast<const Env*>(p))->live = false;
    }
    S.vm_live = false;
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void* args) {
    LockGuard lock(S.mutex);
    check_vm(vm, "AttachCurrentThread");
    if (penv == nullptr) {
        fatal("AttachCurrentThread: NULL penv");
    }
    record("attach");
    auto* attach = static_cast<JavaVMAttachArgs*>(args);
    if (attach != nullptr && !supported_version(attach->version)) {
        return JNI_EVERSION;
    }
    Env* e = live_env_of_this_thread();
    if (e == nullptr) {
        std::string name = attach != nullptr && attach->name != nullptr
                               ? std::string(attach->name)
                               : "Thread-" + std::to_string(S.threads_attached);
        ++S.threads_attached;
        e = new_env(name);
    }
    *penv = &e->jni;
    return JNI_OK;
}

jint JNICALL DetachCurrentThread(JavaVM* vm) {
    LockGuard lock(S.mutex);
    check_vm(vm, "DetachCurrentThread");
    record("detach");
    if (Env* e = live_env_of_this_thread()) {
        if (Object* t = e->pending) {
            // The thread's uncaught-exception handler gets what is still pending;
            // the default one prints it.
            e->pending = nullptr;
            record("uncaught " + dotted(t->class_name));
            write_stderr(describe(e, t));
        }
        e->live = false; // its local references die with it
    }
    return JNI_OK;
}

JNIInvokeInterface_ make_vm_table() {
    JNIInvokeInterface_ t;
    fill_stubs<JNIInvokeInterface_, VmStub>(
        t, std::make_index_sequence<sizeof(JNIInvokeInterface_) / sizeof(Stub)>());
    t.DestroyJavaVM = &DestroyJavaVM;
    t.AttachCurrentThread = &AttachCurrentThread;
    t.DetachCurrentThread = &DetachCurrentThread;
    return t;
}

const JNIInvokeInterface_ kVmTable = make_vm_table();

// Options a VM accepts even when told not to ignore unrecognized ones.
bool recognized_option(const std::string& o) {
    static const char* const prefixes[] = {"-D",
                                           "-X",
                                           "-verbose",
                                           "-ea",
                                           "-da",
                                           "-esa",
                                           "-dsa",
                                           "-enableassertions",
                                           "-disableassertions",
                                           "-enablesystemassertions",
                                           "-disablesystemassertions",
                                           "-javaagent:",
                                           "-agentlib:",
                                           "-agentpath:",
                                           "--"};
    if (o == "exit" || o == "abort" || o == "vfprintf") {
        return true;
    }
    for (const char* p : prefixes) {
        if (o.compare(0, std::strlen(p), p) == 0) {
            return true;
        }
    }
    return false;
}

jint create(JavaVM** pvm, void** penv, void* vargs) {
    LockGuard lock(S.mutex);
    if (pvm == nullptr || penv == nullptr || vargs == nullptr) {
        fatal("JNI_CreateJavaVM: NULL argument");
    }
    *pvm = nullptr;
    *penv = nullptr;
    auto* args = static_cast<JavaVMInitArgs*>(vargs);
    record("create version=" + hex(static_cast<unsigned long>(args->version)) +
           " options=" + std::to_string(static_cast<long long>(args->nOptions)) +
           " ignoreUnrecognized=" + std::to_string(static_cast<int>(args->ignoreUnrecognized)));
    if (args->nOptions < 0 || (args->nOptions > 0 && args->options == nullptr)) {
        fatal("JNI_CreateJavaVM: bad options array");
    }
    std::vector<std::string> options;
    for (jint i = 0; i < args->nOptions; ++i) {
        if (args->options[i].optionString == nullptr) {
            fatal("JNI_CreateJavaVM: NULL optionString at index " + std::to_string(i));
        }
        options.emplace_back(args->options[i].optionString);
        record("option[" + std::to_string(i) + "]=" + record_bytes(options.back()));
    }
    if (switch_on("FAKEJVM_REPORT_STACK")) {
        record("thread stack=" + std::to_string(thread_stack_size()));
    }
    if (switch_on("FAKEJVM_CREATE_FAIL")) {
        record("create failed");
        return JNI_ERR;
    }
    if (!supported_version(args->version)) {
        record("create failed: unsupported version " +
               hex(static_cast<unsigned long>(args->version)));
        return JNI_EVERSION;
    }
    if (S.vm_live) {
        record("create failed: a VM already exists in this process");
        return JNI_EEXIST;
    }
    if (!args->ignoreUnrecognized) {
        for (const std::string& o : options) {
            if (!recognized_option(o)) {
                write_stderr("Unrecognized option: " + o + "\n");
                record("create failed: unrecognized option " + record_bytes(o));
                return JNI_ERR;
            }
        }
    }
#ifdef FAKEJVM_NEEDS_COMPANION
    if (fakejvm_companion_ping() != 42) {
        fatal("JNI_CreateJavaVM: companion.dll answered wrongly");
    }
#endif
    // A fresh VM: earlier VMs' objects stay allocated but are unreachable.
    S.properties.clear();
    S.classes.clear();
    S.exit_hook = nullptr;
    S.threads_attached = 0;
    for (jint i = 0; i < args->nOptions; ++i) {
        const std::string& o = options[static_cast<size_t>(i)];
        if (o.compare(0, 2, "-D") == 0) {
            size_t eq = o.find('=');
            std::u16string key =
                platform_to_utf16(o.substr(2, eq == std::string::npos ? eq : eq - 2));
            std::u16string value =
                eq == std::string::npos ? std::u16string() : platform_to_utf16(o.substr(eq + 1));
            if (!key.empty() && key != u"java.version") { // the VM owns java.version
                S.properties[key] = value;
            }
        } else if (o == "exit") {
            S.exit_hook = reinterpret_cast<ExitHook>(args->options[i].extraInfo);
        }
    }
    S.vm.functions = &kVmTable;
    S.vm_live = true;
    Env* e = new_env("main");
    *pvm = &S.vm;
    *penv = &e->jni;
    return JNI_OK;
}

} // namespace
} // namespace fakejvm

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    return fakejvm::create(pvm, penv, args);
}

// The start of the JDK 1.1 initialisation arguments, through javaStackSize.
struct Jdk11InitArgsHead {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
};

// As HotSpot answers: only version 1.1 fills in the default thread stack size
// (0 on Windows: the executable's own default), and 1.1 itself is refused with
// JNI_ERR all the same.
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    using namespace fakejvm;
    LockGuard lock(S.mutex);
    if (args == nullptr) {
        fatal("JNI_GetDefaultJavaVMInitArgs: NULL argument");
    }
    auto* head = static_cast<Jdk11InitArgsHead*>(args);
    jint asked = head->version;
    jint ret = supported_version(asked) ? JNI_OK : JNI_ERR;
    std::string line = "default args version=" + hex(static_cast<unsigned long>(asked));
    if (asked == JNI_VERSION_1_1) {
        head->version = JNI_VERSION_1_2;
        std::string size = get_env("FAKEJVM_STACK_SIZE").value_or("0");
        head->javaStackSize = static_cast<jint>(std::strtol(size.c_str(), nullptr, 10));
        line += " javaStackSize=" + std::to_string(static_cast<long long>(head->javaStackSize));
    }
    record(line);
    return ret;
}

// A real runtime exports this too; a launcher has no business calling it.

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM**, jsize, jsize*) {
    fakejvm::fatal("unexpected JNI call JNI_GetCreatedJavaVMs");
}
