// Tests of the Java runtime double through the same door a launcher uses: load the
// library, call JNI_CreateJavaVM, then go through the function tables.
#include "test_support.h"

#include <gtest/gtest.h>
#include <jni.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using namespace fakejvm_test;
using Lines = std::vector<std::string>;

// Under the sanitizers: a Java runtime in this process is never unloaded and
// keeps what it allocated, and a real one takes SIGSEGV for its own checks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0:handle_segv=0:allow_user_segv_handler=1";
}

namespace {

using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);

CreateFn create_fn() {
    static CreateFn fn = [] {
        std::string error;
        void* lib = load_library(FAKEJVM_PATH, &error);
        if (lib == nullptr) {
            ADD_FAILURE() << "cannot load " << FAKEJVM_PATH << ": " << error;
            return CreateFn(nullptr);
        }
        return reinterpret_cast<CreateFn>(find_symbol(lib, "JNI_CreateJavaVM"));
    }();
    return fn;
}

std::string current_test() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

// A file in the scratch folder named after the running test, removed first so a
// leftover from an earlier run can never pass for fresh output.
std::string scratch_file(const std::string& suffix) {
    std::string path = scratch_dir() + "/" + current_test() + "-" + suffix;
    std::remove(path.c_str());
    return path;
}

struct Output {
    Lines out;
    std::string err;
};

// Runs `fn` with standard output and error going to files and returns what was
// written. Keep assertions out of `fn`: their messages would be captured too.
template <typename F> Output capture(F&& fn) {
    static int counter = 0;
    std::string base = scratch_file(std::to_string(counter++));
    {
        Redirect out(1, base + ".out");
        Redirect err(2, base + ".err");
        fn();
    }
    return {split_lines(read_file(base + ".out")), read_file(base + ".err")};
}

// Writes straight to the standard output handle, past any C stdio buffer.
void write_raw(const std::string& text) {
#ifdef _WIN32
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &done,
              nullptr);
#else
    ssize_t ignored = write(1, text.data(), text.size());
    (void)ignored;
#endif
}

struct Vm {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jint rc = JNI_ERR;
};

struct Option {
    std::string text;
    void* extra = nullptr;
};

Vm create_vm(const std::vector<Option>& options, jint version = JNI_VERSION_1_2,
             jboolean ignore = JNI_TRUE) {
    std::vector<JavaVMOption> opts;
    for (const Option& o : options) {
        JavaVMOption jo{};
        jo.optionString = const_cast<char*>(o.text.c_str());
        jo.extraInfo = o.extra;
        opts.push_back(jo);
    }
    JavaVMInitArgs args{};
    args.version = version;
    args.nOptions = static_cast<jint>(opts.size());
    args.options = opts.data();
    args.ignoreUnrecognized = ignore;
    Vm vm;
    CreateFn create = create_fn();
    if (create != nullptr) {
        vm.rc = create(&vm.vm, reinterpret_cast<void**>(&vm.env), &args);
    }
    return vm;
}

std::u16string chars_of(JNIEnv* env, jstring s) {
    jboolean is_copy = JNI_FALSE;
    const jchar* c = env->GetStringChars(s, &is_copy);
    std::u16string r(reinterpret_cast<const char16_t*>(c),
                     static_cast<size_t>(env->GetStringLength(s)));
    env->ReleaseStringChars(s, c);
    return r;
}

jstring jstr(JNIEnv* env, const std::u16string& s) {
    return env->NewString(reinterpret_cast<const jchar*>(s.data()), static_cast<jsize>(s.size()));
}

// A VM for one test, destroyed at the end unless the test already did.
class FakeJvm : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(create_fn(), nullptr) << "JNI_CreateJavaVM not exported"; }

    void TearDown() override {
        if (vm_.rc == JNI_OK) {
            capture([&] { vm_.vm->DestroyJavaVM(); });
        }
    }

    // Creates the VM with stdout captured; the create records are checked elsewhere.
    void start(const std::vector<Option>& options = {}) {
        capture([&] { vm_ = create_vm(options); });
        ASSERT_EQ(vm_.rc, JNI_OK);
        env_ = vm_.env;
    }

    void destroy() {
        capture([&] { vm_.vm->DestroyJavaVM(); });
        vm_.rc = JNI_ERR;
    }

    jclass system() {
        jclass c = env_->FindClass("java/lang/System");
        EXPECT_NE(c, nullptr);
        return c;
    }

    Vm vm_;
    JNIEnv* env_ = nullptr;
};

// ---------------------------------------------------------------------------------

TEST_F(FakeJvm, CreateReportsItsArgumentsAndDestroyReports) {
    ScopedEnv fail("FAKEJVM_CREATE_FAIL", nullptr);
    Output o = capture([&] {
        vm_ = create_vm({{"-Djava.class.path=C:\\app\\x.jar"},
                         {"-Xmx64m"},
                         {"-Dmulti=a\nb"},
                         {"-Dlatin=\xc3\xbc"}},
                        JNI_VERSION_1_2);
    });
    ASSERT_EQ(vm_.rc, JNI_OK);
    EXPECT_NE(vm_.vm, nullptr);
    EXPECT_NE(vm_.env, nullptr);
    EXPECT_EQ(o.out, (Lines{"FAKEJVM create version=0x10002 options=4 ignoreUnrecognized=1",
                            "FAKEJVM option[0]=-Djava.class.path=C:\\\\app\\\\x.jar",
                            "FAKEJVM option[1]=-Xmx64m", "FAKEJVM option[2]=-Dmulti=a\\nb",
                            "FAKEJVM option[3]=-Dlatin=\xc3\xbc"}));

    Output d = capture([&] { vm_.vm->DestroyJavaVM(); });
    vm_.rc = JNI_ERR;
    EXPECT_EQ(d.out, Lines{"FAKEJVM destroy"});

    // A later VM in the same process is allowed, so one test process can make many.
    Output again = capture([&] { vm_ = create_vm({}, JNI_VERSION_10, JNI_FALSE); });
    ASSERT_EQ(vm_.rc, JNI_OK);
    EXPECT_EQ(again.out, Lines{"FAKEJVM create version=0xa0000 options=0 ignoreUnrecognized=0"});
}

TEST_F(FakeJvm, CreateFailsLikeARealVm) {
    {
        ScopedEnv fail("FAKEJVM_CREATE_FAIL", "1");
        Vm vm;
        Output o = capture([&] { vm = create_vm({{"-Xss1m"}}); });
        EXPECT_EQ(vm.rc, JNI_ERR);
        EXPECT_EQ(vm.vm, nullptr);
        EXPECT_EQ(vm.env, nullptr);
        EXPECT_EQ(o.out, (Lines{"FAKEJVM create version=0x10002 options=1 ignoreUnrecognized=1",
                                "FAKEJVM option[0]=-Xss1m", "FAKEJVM create failed"}));
    }
    {
        Vm vm;
        capture([&] { vm = create_vm({}, JNI_VERSION_1_1); });
        EXPECT_EQ(vm.rc, JNI_EVERSION);
    }
    {
        Vm vm;
        Output o = capture([&] { vm = create_vm({{"bogus"}}, JNI_VERSION_1_2, JNI_FALSE); });
        EXPECT_EQ(vm.rc, JNI_ERR);
        EXPECT_EQ(o.err, "Unrecognized option: bogus\n");
    }
    start({{"bogus"}}); // ignored when ignoreUnrecognized is set
    Vm second;
    capture([&] { second = create_vm({}); });
    EXPECT_EQ(second.rc, JNI_EEXIST);
}

TEST_F(FakeJvm, FunctionTablesHaveNoEmptySlot) {
    start();
    auto slots = [](const void* table, size_t size) {
        std::vector<void*> v(size / sizeof(void*));
        std::memcpy(v.data(), table, size);
        return v;
    };
    for (void* p : slots(env_->functions, sizeof(JNINativeInterface_))) {
        EXPECT_NE(p, nullptr);
    }
    for (void* p : slots(vm_.vm->functions, sizeof(JNIInvokeInterface_))) {
        EXPECT_NE(p, nullptr);
    }
}

TEST_F(FakeJvm, SystemPropertiesAreReadAndWritten) {
    ScopedEnv version("FAKEJVM_VERSION", nullptr);
    // Options are read in the platform's charset, as a VM reads them: ü is FC in
    // the ANSI code page (1252 under Wine), C3 BC in UTF-8.
#ifdef _WIN32
    start({{"-Dapp.name=D\xFCmo"}});
#else
    start({{"-Dapp.name=D\xC3\xBCmo"}});
#endif
    jclass sys = system();
    jmethodID get =
        env_->GetStaticMethodID(sys, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    jmethodID set = env_->GetStaticMethodID(
        sys, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    ASSERT_NE(get, nullptr);
    ASSERT_NE(set, nullptr);
    jstring jv = env_->NewStringUTF("java.version");
    std::vector<jobject> results;
    Output o = capture([&] {
        // The varargs slot, the va_list slot (used by jni.h's C++ wrapper) and the
        // jvalue slot must all work.
        results.push_back(env_->functions->CallStaticObjectMethod(env_, sys, get, jv));
        set_env("FAKEJVM_VERSION", "21.0.1");
        results.push_back(env_->CallStaticObjectMethod(sys, get, jv));
        set_env("FAKEJVM_VERSION", "<null>");
        jvalue a[1];
        a[0].l = jv;
        results.push_back(env_->CallStaticObjectMethodA(sys, get, a));
        results.push_back(env_->CallStaticObjectMethod(sys, get, env_->NewStringUTF("app.name")));
        results.push_back(env_->CallStaticObjectMethod(sys, get, env_->NewStringUTF("nope")));
        jstring key = env_->NewStringUTF("user.greeting");
        results.push_back(
            env_->CallStaticObjectMethod(sys, set, key, jstr(env_, u"Gr\u00fc\u00dfe")));
        results.push_back(env_->CallStaticObjectMethod(sys, set, key, env_->NewStringUTF("x\\y")));
        results.push_back(env_->CallStaticObjectMethod(sys, get, key));
    });
    EXPECT_EQ(o.out, (Lines{"FAKEJVM getProperty java.version -> 17.0.2",
                            "FAKEJVM getProperty java.version -> 21.0.1",
                            "FAKEJVM getProperty java.version -> <null>",
                            "FAKEJVM getProperty app.name -> D\xC3\xBCmo",
                            "FAKEJVM getProperty nope -> <null>",
                            "FAKEJVM property user.greeting=Gr\xc3\xbc\xc3\x9f"
                            "e",
                            "FAKEJVM property user.greeting=x\\\\y",
                            "FAKEJVM getProperty user.greeting -> x\\\\y"}));
    ASSERT_EQ(results.size(), 8u);
    EXPECT_EQ(chars_of(env_, static_cast<jstring>(results[0])), u"17.0.2");
    EXPECT_EQ(chars_of(env_, static_cast<jstring>(results[1])), u"21.0.1");
    EXPECT_EQ(results[2], nullptr);
    EXPECT_EQ(chars_of(env_, static_cast<jstring>(results[3])), u"D\u00fcmo");
    EXPECT_EQ(results[4], nullptr);
    EXPECT_EQ(results[5], nullptr); // no previous value
    EXPECT_EQ(chars_of(env_, static_cast<jstring>(results[6])), u"Gr\u00fc\u00dfe");
    EXPECT_EQ(chars_of(env_, static_cast<jstring>(results[7])), u"x\\y");
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);
}

TEST_F(FakeJvm, BadPropertyKeysLeavePendingExceptions) {
    start();
    jclass sys = system();
    jmethodID get =
        env_->GetStaticMethodID(sys, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    jobject r = nullptr;
    Output o =
        capture([&] { r = env_->CallStaticObjectMethod(sys, get, static_cast<jstring>(nullptr)); });
    EXPECT_EQ(r, nullptr);
    EXPECT_TRUE(o.out.empty());
    EXPECT_NE(env_->ExceptionOccurred(), nullptr);
    Output d = capture([&] { env_->ExceptionDescribe(); });
    EXPECT_EQ(d.err,
              "Exception in thread \"main\" java.lang.NullPointerException: key can't be null\n");
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr) << "ExceptionDescribe clears the exception";

    r = env_->CallStaticObjectMethod(sys, get, env_->NewStringUTF(""));
    EXPECT_EQ(r, nullptr);
    jthrowable t = env_->ExceptionOccurred();
    EXPECT_NE(t, nullptr);
    env_->DeleteLocalRef(t);
    env_->ExceptionClear();
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);
}

TEST_F(FakeJvm, MainReceivesUtf16Arguments) {
    ScopedEnv cls("FAKEJVM_MAIN_CLASS", nullptr);
    start();
    jclass main_class = env_->FindClass("app/Main");
    ASSERT_NE(main_class, nullptr);
    jmethodID main = env_->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V");
    ASSERT_NE(main, nullptr);
    jclass string_class = env_->FindClass("java/lang/String");
    ASSERT_NE(string_class, nullptr);

    std::vector<jstring> args = {
        jstr(env_, u"plain"),
        jstr(env_, u"Gr\u00fc\u00dfe \u65e5\u672c"),
        jstr(env_, u"clef \U0001D11E"),
        jstr(env_, u"C:\\dir\nnext"),
        jstr(env_, std::u16string(u"lone \xD800!")),
        env_->NewStringUTF("caf\xc3\xa9 nul\xc0\x80x"),
        env_->NewStringUTF("\xed\xa0\xb4\xed\xb4\x9e"), // U+1D11E as two surrogates
        nullptr,
    };
    jobjectArray arr = env_->NewObjectArray(static_cast<jsize>(args.size()), string_class, nullptr);
    ASSERT_NE(arr, nullptr);
    for (size_t i = 0; i < args.size(); ++i) {
        env_->SetObjectArrayElement(arr, static_cast<jsize>(i), args[i]);
        if (args[i] != nullptr) {
            env_->DeleteLocalRef(args[i]); // the array keeps the strings alive
        }
    }
    ASSERT_EQ(env_->ExceptionOccurred(), nullptr);
    Output o = capture([&] { env_->functions->CallStaticVoidMethod(env_, main_class, main, arr); });
    EXPECT_EQ(o.out,
              (Lines{"FAKEJVM main app/Main argc=8", "FAKEJVM arg[0]=plain",
                     "FAKEJVM arg[1]=Gr\xc3\xbc\xc3\x9f"
                     "e \xe6\x97\xa5\xe6\x9c\xac",
                     "FAKEJVM arg[2]=clef \xf0\x9d\x84\x9e", "FAKEJVM arg[3]=C:\\\\dir\\nnext",
                     "FAKEJVM arg[4]=lone \\uD800!", "FAKEJVM arg[5]=caf\xc3\xa9 nul\\u0000x",
                     "FAKEJVM arg[6]=\xf0\x9d\x84\x9e", "FAKEJVM arg[7]=<null>"}));
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);

    // The va_list and jvalue forms reach main too.
    jobjectArray none = env_->NewObjectArray(0, string_class, nullptr);
    jvalue a[1];
    a[0].l = none;
    Output v = capture([&] {
        env_->CallStaticVoidMethod(main_class, main, none);
        env_->CallStaticVoidMethodA(main_class, main, a);
    });
    EXPECT_EQ(v.out, (Lines{"FAKEJVM main app/Main argc=0", "FAKEJVM main app/Main argc=0"}));
}

TEST_F(FakeJvm, MainClassNameComesFromTheEnvironment) {
    ScopedEnv cls("FAKEJVM_MAIN_CLASS", "com.example.App");
    start();
    EXPECT_NE(env_->FindClass("com/example/App"), nullptr);
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);

    // FindClass wants slashes; a dotted name fails as in a real VM.
    EXPECT_EQ(env_->FindClass("com.example.App"), nullptr);
    Output o = capture([&] { env_->ExceptionDescribe(); });
    EXPECT_EQ(o.err, "Exception in thread \"main\" java.lang.NoClassDefFoundError: "
                     "com.example.App\n");

    EXPECT_EQ(env_->FindClass("app/Main"), nullptr);
    env_->ExceptionClear();
}

TEST_F(FakeJvm, SwitchesMakeLookupsFail) {
    start();
    auto describe = [&] {
        Output o = capture([&] { env_->ExceptionDescribe(); });
        return o.err;
    };
    {
        ScopedEnv s("FAKEJVM_NO_CLASS", "1");
        EXPECT_EQ(env_->FindClass("app/Main"), nullptr);
        EXPECT_EQ(describe(),
                  "Exception in thread \"main\" java.lang.NoClassDefFoundError: app/Main\n");
    }
    {
        ScopedEnv s("FAKEJVM_NO_SYSTEM", "1");
        EXPECT_EQ(env_->FindClass("java/lang/System"), nullptr);
        EXPECT_EQ(describe(), "Exception in thread \"main\" java.lang.NoClassDefFoundError: "
                              "java/lang/System\n");
    }
    jclass main_class = env_->FindClass("app/Main");
    ASSERT_NE(main_class, nullptr);
    {
        ScopedEnv s("FAKEJVM_NO_MAIN", "1");
        EXPECT_EQ(env_->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V"), nullptr);
        EXPECT_EQ(describe(), "Exception in thread \"main\" java.lang.NoSuchMethodError: main\n");
    }
    // A wrong signature is a different method.
    EXPECT_EQ(env_->GetStaticMethodID(main_class, "main", "()V"), nullptr);
    EXPECT_EQ(describe(), "Exception in thread \"main\" java.lang.NoSuchMethodError: main\n");
    // Switches are read at call time: with them gone everything is found again.
    EXPECT_NE(env_->FindClass("java/lang/System"), nullptr);
    EXPECT_NE(env_->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V"), nullptr);
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);
}

TEST_F(FakeJvm, ThrowSwitchMakesMainThrowAfterItsArguments) {
    ScopedEnv s("FAKEJVM_THROW", "1");
    start();
    jclass main_class = env_->FindClass("app/Main");
    jmethodID main = env_->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V");
    jobjectArray arr =
        env_->NewObjectArray(1, env_->FindClass("java/lang/String"), env_->NewStringUTF("only"));
    ASSERT_NE(arr, nullptr);
    Output o = capture([&] { env_->CallStaticVoidMethod(main_class, main, arr); });
    EXPECT_EQ(o.out, (Lines{"FAKEJVM main app/Main argc=1", "FAKEJVM arg[0]=only"}));
    jthrowable t = env_->ExceptionOccurred();
    EXPECT_NE(t, nullptr);
    Output d = capture([&] { env_->ExceptionDescribe(); });
    EXPECT_EQ(d.err, "Exception in thread \"main\" java.lang.RuntimeException: FAKEJVM_THROW\n"
                     "\tat app.Main.main(Main.java)\n");
}

TEST_F(FakeJvm, StringsKeepTheirUtf16Content) {
    start();
    jstring s = env_->NewStringUTF("a\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(env_->GetStringLength(s), 3);
    jboolean is_copy = JNI_FALSE;
    const jchar* c = env_->GetStringChars(s, &is_copy);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(is_copy, JNI_TRUE);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(c)), u"a\u00e9\u20ac")
        << "the copy is NUL-terminated";
    env_->ReleaseStringChars(s, c);

    jstring empty = env_->NewString(nullptr, 0);
    EXPECT_EQ(env_->GetStringLength(empty), 0);
    EXPECT_EQ(chars_of(env_, jstr(env_, u"\U0001F600")), u"\U0001F600");
}

TEST_F(FakeJvm, ArrayStoresAreChecked) {
    start();
    jclass string_class = env_->FindClass("java/lang/String");
    EXPECT_EQ(env_->NewObjectArray(-1, string_class, nullptr), nullptr);
    EXPECT_NE(env_->ExceptionOccurred(), nullptr);
    env_->ExceptionClear();

    jobjectArray arr = env_->NewObjectArray(2, string_class, nullptr);
    env_->SetObjectArrayElement(arr, 2, env_->NewStringUTF("x"));
    Output o = capture([&] { env_->ExceptionDescribe(); });
    EXPECT_EQ(o.err, "Exception in thread \"main\" java.lang.ArrayIndexOutOfBoundsException: "
                     "Index 2 out of bounds for length 2\n");

    env_->SetObjectArrayElement(arr, 0, string_class);
    Output d = capture([&] { env_->ExceptionDescribe(); });
    EXPECT_EQ(d.err, "Exception in thread \"main\" java.lang.ArrayStoreException: "
                     "java.lang.Class\n");
}

TEST_F(FakeJvm, AttachedThreadGetsItsOwnEnvironment) {
    start();
    JavaVM* vm = vm_.vm;
    JNIEnv* other = nullptr;
    jint attach_rc = JNI_ERR;
    jint detach_rc = JNI_ERR;
    bool found = false;
    Output o = capture([&] {
        run_on_thread([&] {
            attach_rc = vm->AttachCurrentThread(reinterpret_cast<void**>(&other), nullptr);
            if (attach_rc == JNI_OK) {
                found = other->FindClass("java/lang/System") != nullptr;
            }
            detach_rc = vm->DetachCurrentThread();
        });
    });
    EXPECT_EQ(attach_rc, JNI_OK);
    EXPECT_EQ(detach_rc, JNI_OK);
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, env_);
    EXPECT_TRUE(found);
    EXPECT_EQ(o.out, (Lines{"FAKEJVM attach", "FAKEJVM detach"}));
}

TEST(FakeJvmVariants, NoEntryLibraryLacksTheCreateFunction) {
    std::string error;
    void* lib = load_library(FAKEJVM_NOENTRY_PATH, &error);
    ASSERT_NE(lib, nullptr) << error;
    EXPECT_EQ(find_symbol(lib, "JNI_CreateJavaVM"), nullptr);
    EXPECT_NE(find_symbol(lib, "fakejvm_noentry_marker"), nullptr);
}

#ifdef _WIN32
TEST(FakeJvmVariants, NeedsCompanionLoadsOnlyWithCompanionOnPath) {
    std::string error;
    EXPECT_EQ(load_library(FAKEJVM_NEEDS_COMPANION_PATH, &error), nullptr);
    EXPECT_EQ(error, "LoadLibraryA error " + std::to_string(ERROR_MOD_NOT_FOUND));

    char path[32768];
    DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
    std::string with = std::string(path, n) + ";" + native_path(FAKEJVM_COMPANION_DIR);
    ScopedEnv on_path("PATH", with.c_str());
    void* lib = load_library(FAKEJVM_NEEDS_COMPANION_PATH, &error);
    ASSERT_NE(lib, nullptr) << error;
    auto create = reinterpret_cast<CreateFn>(find_symbol(lib, "JNI_CreateJavaVM"));
    ASSERT_NE(create, nullptr);

    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jint rc = JNI_ERR;
    Output o = capture([&] {
        rc = create(&vm, reinterpret_cast<void**>(&env), &args);
        if (rc == JNI_OK) {
            vm->DestroyJavaVM();
        }
    });
    EXPECT_EQ(rc, JNI_OK);
    EXPECT_EQ(o.out, (Lines{"FAKEJVM create version=0x10002 options=0 ignoreUnrecognized=1",
                            "FAKEJVM destroy"}));
}
#endif

// ---------------------------------------------------------------------------------
// Behaviour that ends the process runs in a child (a death test); what the child
// printed is read back from a file.

#ifdef _WIN32
::testing::ExitedWithCode aborted() {
    return ::testing::ExitedWithCode(134);
}
#else
::testing::KilledBySignal aborted() {
    return ::testing::KilledBySignal(SIGABRT);
}
#endif

class FakeJvmDeathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_NE(create_fn(), nullptr);
    }
};

// Runs in the child: records go to `out`, then `fn` is expected never to return.
template <typename F> void in_child(const std::string& out, F&& fn) {
    new Redirect(1, out); // never restored: the process ends inside `fn`
    Vm vm = create_vm({});
    if (vm.rc != JNI_OK) {
        std::_Exit(99);
    }
    fn(vm);
    std::_Exit(98); // returned although it should not have
}

jclass find(JNIEnv* env, const char* name) {
    return env->FindClass(name);
}

jmethodID exit_method(JNIEnv* env, jclass sys) {
    return env->GetStaticMethodID(sys, "exit", "(I)V");
}

TEST_F(FakeJvmDeathTest, UnexpectedSlotsAbortNamingTheSlot) {
    std::string out = scratch_file("out");
    EXPECT_EXIT(in_child(out, [](Vm& vm) { vm.env->functions->GetVersion(vm.env); }), aborted(),
                "FAKEJVM FATAL unexpected JNI call GetVersion");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             vm.env->functions->CallStaticIntMethodA(vm.env, nullptr, nullptr,
                                                                     nullptr);
                         }),
                aborted(), "FAKEJVM FATAL unexpected JNI call CallStaticIntMethodA");
    EXPECT_EXIT(in_child(out, [](Vm& vm) { vm.env->functions->GetObjectRefType(vm.env, nullptr); }),
                aborted(), "FAKEJVM FATAL unexpected JNI call GetObjectRefType");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             void* env = nullptr;
                             vm.vm->functions->GetEnv(vm.vm, &env, JNI_VERSION_1_2);
                         }),
                aborted(), "FAKEJVM FATAL unexpected JNI call GetEnv");
}

TEST_F(FakeJvmDeathTest, SystemExitEndsTheProcessWithItsStatus) {
    std::string out = scratch_file("out");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jclass sys = find(vm.env, "java/lang/System");
                             vm.env->functions->CallStaticVoidMethod(
                                 vm.env, sys, exit_method(vm.env, sys), static_cast<jint>(7));
                         }),
                ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(
        split_lines(read_file(out)),
        (Lines{"FAKEJVM create version=0x10002 options=0 ignoreUnrecognized=1", "FAKEJVM exit 7"}));
}

void JNICALL exit_hook(jint status) {
    write_raw("hook " + std::to_string(status) + "\n");
}

TEST_F(FakeJvmDeathTest, SystemExitCallsTheExitHookFirst) {
    std::string out = scratch_file("out");
    auto run = [&] {
        new Redirect(1, out);
        Vm vm = create_vm({{"exit", reinterpret_cast<void*>(&exit_hook)}});
        jclass sys = find(vm.env, "java/lang/System");
        vm.env->CallStaticVoidMethod(sys, exit_method(vm.env, sys), static_cast<jint>(5));
        std::_Exit(98);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(5), "");
    Lines lines = split_lines(read_file(out));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "FAKEJVM exit 5");
    EXPECT_EQ(lines[3], "hook 5");
}

TEST_F(FakeJvmDeathTest, BlockedMainEndsWhenAnotherThreadCallsExit) {
    std::string out = scratch_file("out");
    auto run = [&] {
        ScopedEnv block("FAKEJVM_BLOCK", "1");
        in_child(out, [&](Vm& vm) {
            JavaVM* jvm = vm.vm;
            start_thread([jvm, out] {
                // Waits for main to block, so the exit really comes from outside it.
                while (read_file(out).find("FAKEJVM blocking\n") == std::string::npos) {
                    sleep_ms(10);
                }
                JNIEnv* env = nullptr;
                jvm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
                jclass sys = find(env, "java/lang/System");
                env->CallStaticVoidMethod(sys, exit_method(env, sys), static_cast<jint>(9));
            });
            jclass main_class = find(vm.env, "app/Main");
            jmethodID main =
                vm.env->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V");
            jobjectArray args =
                vm.env->NewObjectArray(0, find(vm.env, "java/lang/String"), nullptr);
            vm.env->CallStaticVoidMethod(main_class, main, args);
        });
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(9), "");
    EXPECT_EQ(split_lines(read_file(out)),
              (Lines{"FAKEJVM create version=0x10002 options=0 ignoreUnrecognized=1",
                     "FAKEJVM main app/Main argc=0", "FAKEJVM blocking", "FAKEJVM attach",
                     "FAKEJVM exit 9"}));
}

TEST_F(FakeJvmDeathTest, JniMisuseIsFatal) {
    std::string out = scratch_file("out");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             find(vm.env, "no/Such");
                             vm.env->NewStringUTF("x");
                         }),
                aborted(),
                "FAKEJVM FATAL NewStringUTF: called with a pending exception "
                "java.lang.NoClassDefFoundError");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jstring s = vm.env->NewStringUTF("x");
                             vm.env->DeleteLocalRef(s);
                             vm.env->GetStringLength(s);
                         }),
                aborted(), "FAKEJVM FATAL GetStringLength: string is a deleted local reference");
    EXPECT_EXIT(
        in_child(out, [](Vm& vm) { run_on_thread([&] { find(vm.env, "java/lang/String"); }); }),
        aborted(), "FAKEJVM FATAL FindClass: JNIEnv of thread .main. used on another thread");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jstring s = vm.env->NewStringUTF("x");
                             run_on_thread([&] {
                                 JNIEnv* env = nullptr;
                                 vm.vm->AttachCurrentThread(reinterpret_cast<void**>(&env),
                                                            nullptr);
                                 env->GetStringLength(s);
                             });
                         }),
                aborted(), "GetStringLength: string is a local reference of thread .main.");
    EXPECT_EXIT(in_child(out, [](Vm& vm) { vm.env->NewStringUTF("\xf0\x9d\x84\x9e"); }), aborted(),
                "FAKEJVM FATAL NewStringUTF: bytes are not modified UTF-8");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jchar buf[2] = {'x', 0};
                             vm.env->ReleaseStringChars(vm.env->NewString(buf, 1), buf);
                         }),
                aborted(), "FAKEJVM FATAL ReleaseStringChars: chars were not returned");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jclass sys = find(vm.env, "java/lang/System");
                             vm.env->CallStaticVoidMethod(find(vm.env, "java/lang/String"),
                                                          exit_method(vm.env, sys), 1);
                         }),
                aborted(),
                "FAKEJVM FATAL CallStaticVoidMethodV: method ID of java.lang.System.exit used "
                "with class java.lang.String");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             jclass sys = find(vm.env, "java/lang/System");
                             jmethodID get = vm.env->GetStaticMethodID(
                                 sys, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
                             vm.env->CallStaticVoidMethod(sys, get, vm.env->NewStringUTF("k"));
                         }),
                aborted(),
                "FAKEJVM FATAL CallStaticVoidMethodV: wrong return type for getProperty");
    EXPECT_EXIT(in_child(out,
                         [](Vm& vm) {
                             vm.vm->DestroyJavaVM();
                             find(vm.env, "java/lang/String");
                         }),
                aborted(), "FAKEJVM FATAL FindClass: JNIEnv used after DetachCurrentThread");
}

} // namespace
