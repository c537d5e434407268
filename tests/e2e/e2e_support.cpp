#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarn::test {

namespace {

std::string shell(const std::string& command) {
    ProcessResult result = runCommand(command + " 2>&1");
    EXPECT_EQ(result.status, 0) << command << "\n" << result.out;
    return result.out;
}

fs::path buildDir() {
    static TempDir* dir = new TempDir; // lives for the whole test program
    return dir->path();
}

void applyEnvironment(const Environment& env) {
    const Jdk& jdk = installedJdks().front();
    setenv("JAVA_HOME", jdk.home.c_str(), 1);
    unsetenv("JRE_HOME");
    unsetenv("CLASSPATH");
    unsetenv("CLASS_PATH");
    setenv("LC_ALL", "C.UTF-8", 1);
    for (const auto& [name, value] : env) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

pid_t spawn(const fs::path& exe, const std::vector<std::string>& args, const Environment& env,
            const fs::path& cwd, const fs::path& out, const fs::path& err, const Prepare& prepare) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    applyEnvironment(env);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(125);
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv;
    std::string program = exe.string();
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (prepare)
        prepare();
    execv(program.c_str(), argv.data());
    _exit(127);
}

int waitStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

const JavaApps& javaApps() {
    static JavaApps* apps = [] {
        auto* result = new JavaApps;
        fs::path dir = buildDir();
        fs::path bin = fs::path(TARN_JDK_HOME) / "bin";
        std::string src = TARN_E2E_JAVA;
        shell(quoteArgument((bin / "javac").string()) + " -d " +
              quoteArgument((dir / "classes").string()) + " " + src + "/app/*.java " + src +
              "/lib/*.java");
        result->classes = dir / "classes";
        result->appJar = dir / "app.jar";
        result->libJar = dir / "lib.jar";
        std::string jar = quoteArgument((bin / "jar").string());
        shell(jar + " --create --file " + quoteArgument(result->appJar.string()) +
              " --main-class app.Echo -C " + quoteArgument((dir / "classes").string()) + " app");
        result->accessJar = dir / "access.jar";
        writeFile(dir / "access.mf", "Main-Class: app.Access\n"
                                     "Add-Opens: java.base/java.lang java.base/java.util\n"
                                     "Add-Exports: java.base/jdk.internal.misc\n"
                                     "Enable-Native-Access: ALL-UNNAMED\n"
                                     "Launcher-Agent-Class: app.Agent\n");
        shell(jar + " --create --file " + quoteArgument(result->accessJar.string()) +
              " --manifest " + quoteArgument((dir / "access.mf").string()) + " -C " +
              quoteArgument((dir / "classes").string()) + " app");
        shell(jar + " --create --file " + quoteArgument(result->libJar.string()) + " -C " +
              quoteArgument((dir / "classes").string()) + " lib");
        // A ZIP comment after the end record: the launcher must subtract it.
        std::string bytes = readFile(result->appJar);
        std::string comment = "wrapped for the tests";
        size_t eocd = bytes.rfind(std::string("PK\x05\x06", 4));
        bytes[eocd + 20] = char(comment.size());
        result->commentedJar = dir / "commented.jar";
        writeFile(result->commentedJar, bytes + comment);
        return result;
    }();
    return *apps;
}

const std::vector<Jdk>& installedJdks() {
    static std::vector<Jdk>* jdks = [] {
        auto* list = new std::vector<Jdk>;
        std::vector<fs::path> homes = {fs::path(TARN_JDK_HOME)};
        for (const auto& entry : fs::directory_iterator("/usr/lib/jvm"))
            if (!entry.is_symlink() && entry.path() != homes[0])
                homes.push_back(entry.path());
        for (const fs::path& home : homes) {
            fs::path library = home / "lib/server/libjvm.so";
            std::string release = readFile(home / "release");
            size_t at = release.find("JAVA_VERSION=\"");
            if (!fs::exists(library) || at == std::string::npos)
                continue;
            at += 14;
            list->push_back({home, release.substr(at, release.find('"', at) - at), library});
        }
        return list;
    }();
    return *jdks;
}

fs::path wrap(const fs::path& dir, const std::string& name, const std::string& config,
              const fs::path& jar) {
    fs::path cfg = dir / (name + ".input-cfg");
    writeFile(cfg, config);
    fs::path out = dir / name;
    shell(quoteArgument(TARNPACK) + " --launcher " + quoteArgument(TARN_STUB) + " --jar " +
          quoteArgument(jar.string()) + " --config " + quoteArgument(cfg.string()) + " --out " +
          quoteArgument(out.string()));
    fs::remove(cfg);
    return out;
}

Outcome run(const fs::path& exe, const std::vector<std::string>& args, const Environment& env,
            const fs::path& cwd, const Prepare& prepare) {
    TempDir outputs;
    fs::path out = outputs / "out", err = outputs / "err";
    Outcome result;
    result.status = waitStatus(spawn(exe, args, env, cwd, out, err, prepare));
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

Background start(const fs::path& exe, const fs::path& dir, const std::vector<std::string>& args,
                 const Environment& env, const Prepare& prepare) {
    static int count = 0;
    Background background;
    ++count;
    background.out = dir / ("bg" + std::to_string(count) + ".out");
    background.err = dir / ("bg" + std::to_string(count) + ".err");
    background.pid = spawn(exe, args, env, dir, background.out, background.err, prepare);
    return background;
}

bool Background::waitForOutput(const std::string& text, int seconds) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (contains(readFile(out), text))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

Outcome Background::finish() const {
    Outcome result;
    result.status = waitStatus(pid);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

} // namespace tarn::test
