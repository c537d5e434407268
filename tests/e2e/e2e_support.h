// Building, wrapping and running real applications for end-to-end tests.
#pragma once

#include "support/test_support.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tarn::test {

// Compiled once per test program: app.jar (Main-Class app.Echo, plus Sleeper,
// Thrower, NoMain, UsesLib, Lingerer, Handled, Recurse) and lib.jar (lib.Greeting).
struct JavaApps {
    fs::path appJar;
    fs::path libJar;
    fs::path commentedJar; // app.jar with a ZIP archive comment
    fs::path classes;      // the compiled classes of both
    fs::path accessJar;    // app.jar run as app.Access, its manifest asking for module access
};
const JavaApps& javaApps();

struct Jdk {
    fs::path home;
    std::string version; // java.version as the runtime reports it
    fs::path library;    // lib/server/libjvm.so
};
// Every JDK under /usr/lib/jvm with a server VM, the default one first.
const std::vector<Jdk>& installedJdks();

// Wraps jar into dir/name with the given configuration text.
fs::path wrap(const fs::path& dir, const std::string& name, const std::string& config,
              const fs::path& jar = javaApps().appJar);

using Environment = std::map<std::string, std::optional<std::string>>;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs in the child just before exec (the output files are open by then).
using Prepare = std::function<void()>;

// Runs exe with args; the environment is inherited with JAVA_HOME set to the
// default JDK, JRE_HOME/CLASSPATH/CLASS_PATH removed, LC_ALL=C.UTF-8, then
// `env` applied (a nullopt value removes the variable).
Outcome run(const fs::path& exe, const std::vector<std::string>& args = {},
            const Environment& env = {}, const fs::path& cwd = fs::path(),
            const Prepare& prepare = {});

// A run in the background in `dir`, its output going to files there.
struct Background {
    pid_t pid = -1;
    fs::path out, err;
    bool waitForOutput(const std::string& text, int seconds = 30) const;
    Outcome finish() const; // waits for the exit
};
Background start(const fs::path& exe, const fs::path& dir,
                 const std::vector<std::string>& args = {}, const Environment& env = {},
                 const Prepare& prepare = {});

bool contains(const std::string& haystack, const std::string& needle);

} // namespace tarn::test
