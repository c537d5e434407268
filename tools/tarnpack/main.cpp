// tarnpack: turns a JAR into one executable by appending it, with the launcher
// configuration, to a copy of the tarn launcher stub.
#include "io.h"
#include "wrap.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <string>

#ifndef TARNPACK_VERSION
#define TARNPACK_VERSION "0.1.0"
#endif

namespace {

const char kHelp[] =
    R"(tarnpack - turn a Java application (a JAR) into one executable file

Usage:
  tarnpack --jar APP.jar --out OUT [--config CFG] [--launcher STUB | --target TARGET]
           [--main-class NAME] [--strict] [Windows resources: --icon --app-version --name
           --vendor --description --copyright --manifest --admin]
           [--runtime DIR | --jlink [--jdk DIR] [--add-modules LIST] [--jmods DIR]]
  tarnpack --inspect EXE
  tarnpack --help | --version

Options:
  --jar APP.jar      the application to embed: a JAR, or any ZIP archive whose comment
                     is at most 51,200 bytes
  --out OUT          the executable to write (mode 0755); it is replaced only once the
                     whole file is written, and must not be one of the inputs
  --config CFG       launcher configuration, embedded byte for byte: UTF-8, UTF-16LE or
                     UTF-16BE with a byte-order mark, or plain ANSI text; at most 1 MiB.
                     Without it the configuration is empty
  --launcher STUB    the launcher stub to copy
  --target TARGET    the stub built for TARGET: linux-x64 (the default), win32 or win64,
                     looked up as ../TARGET/tarn[.exe] beside tarnpack, then as
                     ../lib/tarn/TARGET/tarn[.exe]; win32-gui and win64-gui pick the
                     windowless launcher tarnw.exe (no console; failures in a message box)
  --main-class NAME  the class to run. It is added as a line 'mainclass NAME', ahead of
                     any mainclass line the configuration already has. Without it, a
                     configuration naming no main class gets the Main-Class from the
                     JAR's META-INF/MANIFEST.MF
  --strict           make configuration warnings errors. tarnpack warns about a key the
                     launcher does not know but that is close to one it knows, and about
                     'key: value' and 'key = value' lines ('key value' or 'key=value' are
                     the forms to use)
  --runtime DIR      embed the Java runtime at DIR (a jlink image, JRE or JDK folder); it
                     must hold the VM library for the launcher's machine. The program
                     then runs without any installed Java: the first start extracts the
                     runtime into the user's cache, later starts use that copy
  --jlink            embed a runtime that jlink builds for the application: the modules
                     jdeps finds in the JAR and the JARs of the configuration's classpath
                     lines, plus --add-modules
  --jdk DIR          the JDK whose jdeps and jlink are used (default: JAVA_HOME, else the
                     java found on PATH)
  --add-modules LIST more modules for --jlink, comma-separated (java.sql,jdk.crypto.ec)
  --jmods DIR        the jmods folder of the target's JDK, needed for --jlink when the
                     target is Windows (a Windows JDK of the same version as --jdk)
  --inspect EXE      show what a wrapped program carries: its configuration, where each
                     piece starts and how large it is, whether the size slot matches, the
                     embedded runtime (format, size, hash, version, machine) and, for
                     Windows programs, its icon, version strings, manifest and signature
  -h, --help         show this help and exit
  --version          show the version and exit

Windows resources (the launcher's own stay unless replaced):
  --icon FILE.ico    the program's icon: every image of the .ico file
  --app-version V    FileVersion and ProductVersion, 1 to 4 numbers (1.2.3.4)
  --name TEXT        ProductName (default: the output's file name without extension)
  --vendor TEXT      CompanyName
  --description TEXT FileDescription (default: the name)
  --copyright TEXT   LegalCopyright
                     any of these five writes a new version resource
  --manifest FILE    replace the launcher's manifest (asInvoker, per-monitor DPI
                     awareness, long paths, supported OS up to Windows 11)
  --admin            ask for administrator rights (requireAdministrator)

Options take their value as the next argument or after '=' (--jar=app.jar).

Examples:
  tarnpack --jar app.jar --out app
  tarnpack --jar app.jar --config app.cfg --target win64 --out app.exe
  tarnpack --jar app.jar --target win64-gui --icon app.ico --name App --app-version 2.1 \
           --vendor "Example Ltd" --out app.exe
  tarnpack --jar app.jar --main-class com.example.Main --launcher ./tarn --out app
  tarnpack --jar app.jar --jlink --out app
  tarnpack --inspect app.exe

A wrapped program is laid out as (integers little-endian):
  stub (its TARNSLOT slot set to A) | [runtime payload (R bytes)] | configuration + NUL
  (L bytes) | L (4 bytes) | 16 bytes: zero, or "TRNR", format 1 (4 bytes), R (8 bytes)
  | JAR: archive through its end record (A bytes) + comment (K bytes)

Exit status: 0 on success, 1 on an error, 2 on a command-line mistake.
)";

struct UsageError {
    std::string what;
};

struct Options {
    std::map<std::string, std::string> values;
};

const char* const kValueOptions[] = {
    "--jar",     "--out",         "--config",  "--launcher", "--target",      "--main-class",
    "--icon",    "--manifest",    "--name",    "--vendor",   "--description", "--copyright",
    "--inspect", "--app-version", "--runtime", "--jdk",      "--add-modules", "--jmods"};
const char* const kFlagOptions[] = {"--admin", "--jlink"};

bool isFlag(const std::string& option) {
    return std::find(std::begin(kFlagOptions), std::end(kFlagOptions), option) !=
           std::end(kFlagOptions);
}

bool takesValue(const std::string& option) {
    for (const char* known : kValueOptions) {
        if (option == known) {
            return true;
        }
    }
    return false;
}

// Returns nothing when --help or --version was handled.
std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return std::nullopt;
        }
        if (arg == "--version") {
            std::cout << "tarnpack " << TARNPACK_VERSION << '\n';
            return std::nullopt;
        }
        if (arg == "--strict") {
            options.values[arg] = "";
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (isFlag(arg)) {
            if (!options.values.emplace(arg, "").second) {
                throw UsageError{"option '" + arg + "' given more than once"};
            }
            continue;
        }
        if (!takesValue(name)) {
            if (name.size() > 1 && name[0] == '-') {
                throw UsageError{"unknown option '" + name + "'"};
            }
            throw UsageError{"unexpected argument '" + arg + "'"};
        }
        if (!value) {
            // A following option means the value was forgotten.
            if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
                value = argv[++i];
            }
        }
        if (!value || value->empty()) {
            throw UsageError{"option '" + name + "' needs a value"};
        }
        if (!options.values.emplace(name, *value).second) {
            throw UsageError{"option '" + name + "' given more than once"};
        }
    }
    return options;
}

std::optional<std::string> take(Options& options, const std::string& name) {
    auto it = options.values.find(name);
    if (it == options.values.end()) {
        return std::nullopt;
    }
    std::string value = it->second;
    options.values.erase(it);
    return value;
}

int run(int argc, char** argv) {
    if (argc < 2) {
        throw UsageError{"nothing to do: pass --jar and --out, or --inspect"};
    }
    std::optional<Options> parsed = parse(argc, argv);
    if (!parsed) {
        return 0;
    }
    Options& options = *parsed;

    if (std::optional<std::string> exe = take(options, "--inspect")) {
        if (!options.values.empty()) {
            throw UsageError{"--inspect cannot be combined with " + options.values.begin()->first};
        }
        tarnpack::inspect(*exe, std::cout);
        return 0;
    }

    tarnpack::PackRequest request;
    std::optional<std::string> jar = take(options, "--jar");
    std::optional<std::string> out = take(options, "--out");
    std::optional<std::string> launcher = take(options, "--launcher");
    std::optional<std::string> target = take(options, "--target");
    request.config = take(options, "--config");
    request.mainClass = take(options, "--main-class");
    request.strict = take(options, "--strict").has_value();
    request.runtime = take(options, "--runtime");
    bool jlink = take(options, "--jlink").has_value();
    tarnpack::JlinkRequest link;
    link.jdk = take(options, "--jdk");
    link.addModules = take(options, "--add-modules");
    link.jmods = take(options, "--jmods");
    if (jlink && request.runtime) {
        throw UsageError{"--runtime and --jlink cannot be used together"};
    }
    if (!jlink && (link.jdk || link.addModules || link.jmods)) {
        throw UsageError{"--jdk, --add-modules and --jmods go with --jlink"};
    }
    if (jlink) {
        request.jlink = link;
    }
    if (!jar) {
        throw UsageError{"missing --jar APP.jar"};
    }
    if (!out) {
        throw UsageError{"missing --out OUT"};
    }
    if (launcher && target) {
        throw UsageError{"--launcher and --target cannot be used together"};
    }
    const char* const targets[] = {"linux-x64", "win32", "win64", "win32-gui", "win64-gui"};
    if (target && std::find(std::begin(targets), std::end(targets), *target) == std::end(targets)) {
        throw UsageError{"unknown target '" + *target +
                         "' (expected linux-x64, win32, win64, win32-gui or win64-gui)"};
    }
    tarnpack::ResourceRequest& resources = request.resources;
    resources.icon = take(options, "--icon");
    resources.manifest = take(options, "--manifest");
    resources.admin = take(options, "--admin").has_value();
    resources.appVersion = take(options, "--app-version");
    resources.name = take(options, "--name");
    resources.vendor = take(options, "--vendor");
    resources.description = take(options, "--description");
    resources.copyright = take(options, "--copyright");
    if (resources.appVersion && !tarnpack::isAppVersion(*resources.appVersion)) {
        throw UsageError{"--app-version '" + *resources.appVersion +
                         "' is not one to four numbers 0-65535 separated by dots"};
    }
    if (resources.any() && target && target->rfind("win", 0) != 0) {
        throw UsageError{"icons, manifests and version information need a Windows target"};
    }
    request.jar = *jar;
    request.out = *out;
    request.launcher =
        launcher ? *launcher : tarnpack::locateLauncher(target.value_or("linux-x64"), argv[0]);
    tarnpack::pack(request);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "tarnpack: error: " << e.what << "\nTry 'tarnpack --help'.\n";
        return 2;
    } catch (const tarnpack::Error& e) {
        std::cerr << "tarnpack: error: " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "tarnpack: error: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "tarnpack: error: " << e.what() << '\n';
    }
    return 1;
}
