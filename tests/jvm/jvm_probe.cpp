// Drives the launcher's JavaHost against one runtime library, in one process,
// because a process can create only one Java VM in its life.
//
//   jvm_probe --lib PATH [--option TEXT]... [--unset-path] [--print-path]
//             [--version] [--property NAME=VALUE]... [--interrupt [--raise-interrupt]]
//             [--main CLASS] [--argv TEXT]... [--extra TEXT]... [-- ARG...]
//
// Prints, each on its own line as it happens:
//   create=<result>   PATH=<value>   version=<text> | version-unavailable
//   main=<result>     unloaded
// and exits with the result of the last step that ran. --raise-interrupt runs
// the interrupt handler on a thread of its own once the handlers are in place, as
// the system would on Ctrl+C (a process cannot send itself a console event
// alone under Windows; the end-to-end tests send real ones).
#include "base/string_list.h"
#include "jvm/java_host.h"
#include "platform/platform.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <thread>

using namespace tarn;

namespace {

struct ProbeArgs {
    const char* library = nullptr;
    StringList options;
    StringList properties;
    StringList argvEntries;
    StringList extras;
    const char* mainClass = nullptr;
    bool unsetPath = false;
    bool printPath = false;
    bool version = false;
    bool interrupt = false;
    bool raiseInterrupt = false;
    int argc = 0;
    char** argv = nullptr;
};

bool parse(int argc, char** argv, ProbeArgs& out) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        bool hasValue = i + 1 < argc;
        if (strcmp(a, "--") == 0) {
            out.argc = argc - i - 1;
            out.argv = argv + i + 1;
            return true;
        } else if (strcmp(a, "--unset-path") == 0) {
            out.unsetPath = true;
        } else if (strcmp(a, "--print-path") == 0) {
            out.printPath = true;
        } else if (strcmp(a, "--version") == 0) {
            out.version = true;
        } else if (strcmp(a, "--interrupt") == 0) {
            out.interrupt = true;
        } else if (strcmp(a, "--raise-interrupt") == 0) {
            out.raiseInterrupt = true;
        } else if (!hasValue) {
            fprintf(stderr, "jvm_probe: %s needs a value\n", a);
            return false;
        } else if (strcmp(a, "--lib") == 0) {
            out.library = argv[++i];
        } else if (strcmp(a, "--option") == 0) {
            out.options.add(argv[++i]);
        } else if (strcmp(a, "--property") == 0) {
            out.properties.add(argv[++i]);
        } else if (strcmp(a, "--main") == 0) {
            out.mainClass = argv[++i];
        } else if (strcmp(a, "--argv") == 0) {
            out.argvEntries.add(argv[++i]);
        } else if (strcmp(a, "--extra") == 0) {
            out.extras.add(argv[++i]);
        } else {
            fprintf(stderr, "jvm_probe: unknown argument %s\n", a);
            return false;
        }
    }
    return out.library != nullptr;
}

ResultCode run(JavaHost& host, ProbeArgs& args) {
    for (int32_t i = 0; i < args.options.count(); ++i)
        host.addOption(args.options.item(i));
    if (args.unsetPath)
        platform::putEnv("PATH=");

    ResultCode result = host.createVm(args.library);
    printf("create=%d\n", result);
    if (args.printPath) {
        const char* path = platform::getEnv("PATH");
        printf("PATH=%s\n", path ? path : "(unset)");
    }
    if (result != resultOk)
        return result;

    if (args.version) {
        ByteString version;
        if (host.getJavaVersion(version))
            printf("version=%s\n", version.cStr());
        else
            printf("version-unavailable\n");
    }
    for (int32_t i = 0; i < args.properties.count(); ++i)
        setSystemProperty(host.env(), args.properties.item(i));
    if (args.interrupt)
        installInterruptHandlers();
    if (args.raiseInterrupt)
        std::thread([] { onInterruptSignal(platform::interruptSignal); }).detach();
    if (args.mainClass == nullptr)
        return result;

    Array<char*> extras;
    for (int32_t i = 0; i < args.extras.count(); ++i)
        extras.appendOne(args.extras.item(i));
    result = host.runMainClass(args.mainClass, args.argvEntries, args.argc, args.argv,
                               extras.length(), extras.data());
    printf("main=%d\n", result);
    return result;
}

} // namespace

// Under the sanitizers: a Java runtime in this process is never unloaded and
// keeps what it allocated, and a real one takes SIGSEGV for its own checks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0:handle_segv=0:allow_user_segv_handler=1";
}

int main(int argc, char** argv) {
    // Our lines and the VM's writes to the same descriptor must keep their order.
    setvbuf(stdout, nullptr, _IONBF, 0);
    platform::setUserLocale();

    ProbeArgs args;
    if (!parse(argc, argv, args))
        return 100;

    JavaHost host;
    currentHost = &host;
    ResultCode result = run(host, args);
    // As the launcher's entry does: the interrupt path must not see a dying VM.
    currentHost = nullptr;
    host.unload();
    host.unload();
    printf("unloaded\n");
    return result;
}
