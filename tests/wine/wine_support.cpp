#include "wine/wine_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tarn::test {

namespace {

const fs::path sourceDir = TARN_SOURCE_DIR;
const fs::path wineRun = sourceDir / "scripts/wine-run";

// A 32-bit start costs about a minute of emulated CPU here; a hung one must
// still end before ctest's own limit.
const auto deadline = std::chrono::minutes(10);

bool onPath(const std::string& program) {
    return runCommand("command -v " + program + " >/dev/null 2>&1").status == 0;
}

Target makeTarget(int bits) {
    Target target;
    target.bits = bits;
    target.name = bits == 32 ? "win32" : "win64";
    target.build = sourceDir / "build" / target.name;
    return target;
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            result += text[i];
    return result;
}

void applyEnvironment(const Environment& env) {
    std::vector<std::string> switches;
    for (char** e = environ; *e; ++e)
        if (strncmp(*e, "FAKEJVM_", 8) == 0)
            switches.push_back(std::string(*e, strcspn(*e, "=")));
    for (const std::string& name : switches)
        unsetenv(name.c_str());
    for (const char* name : {"JAVA_HOME", "JRE_HOME", "CLASSPATH", "CLASS_PATH"})
        unsetenv(name);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEPREFIX", winePrefix().c_str(), 1);
    for (const auto& [name, value] : env) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

// Keeps one Wine server up across the starts of a test program and a minute
// beyond: a server that shuts down just as the next program connects can make
// that start fail, and each new server costs a second to start.
void keepWineServer() {
    static bool started = false;
    if (started)
        return;
    started = true;
    fs::path server = "/usr/lib/wine/wineserver64";
    if (!fs::exists(server))
        server = "wineserver";
    // Returns at once, leaving the server as a daemon; when one runs already this
    // one ends. The delay counts from the moment the last program ended.
    runCommand("WINEPREFIX=" + quoteArgument(winePrefix().string()) + " " +
               quoteArgument(server.string()) + " -p60 >/dev/null 2>&1");
}

// Starts `program args` (a Windows program through wine-run) with its output in files.
pid_t spawn(const fs::path& program, const std::vector<std::string>& args, const Environment& env,
            const fs::path& cwd, const fs::path& out, const fs::path& err) {
    keepWineServer();
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
    std::vector<std::string> words = {wineRun.string(), program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

int decodeStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits for pid; a process that outlives the deadline is killed.
int waitFor(pid_t pid) {
    auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return decodeStatus(status);
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return decodeStatus(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string unescape(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == 'n')) {
            result += text[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string afterBracket(const std::string& record) {
    size_t at = record.find("]=");
    return at == std::string::npos ? record : record.substr(at + 2);
}

} // namespace

fs::path winePrefix() {
    const char* set = getenv("WINEPREFIX");
    return set && *set ? fs::path(set) : sourceDir / "build/wineprefix";
}

std::string Target::unavailable() const {
    if (!fs::exists(stub()))
        return stub().string() + " is not built (cmake --build --preset " + name + ")";
    for (const fs::path& dll : {runtime(), noEntry(), needsCompanion(), companion()})
        if (!fs::exists(dll))
            return dll.string() + " is not built (cmake --build --preset " + name + ")";
    if (!fs::exists(winePrefix() / "system.reg"))
        return "no Wine prefix at " + winePrefix().string() + " (scripts/wine-run --init)";
    if (bits == 64 ? !(fs::exists("/usr/lib/wine/wine64") || onPath("wine64")) : !onPath("wine"))
        return "Wine for " + name + " programs is not installed";
    return "";
}

bool Target::emulated() const {
    std::string state = readFile("/proc/sys/fs/binfmt_misc/qemu-i386");
    return bits == 32 && state.rfind("enabled", 0) == 0;
}

const Target& win32Target() {
    static const Target target = makeTarget(32);
    return target;
}

const Target& win64Target() {
    static const Target target = makeTarget(64);
    return target;
}

std::string windowsPath(const fs::path& path) {
    std::string text = fs::absolute(path).lexically_normal().string();
    for (char& c : text)
        if (c == '/')
            c = '\\';
    return "Z:" + text;
}

std::string windowsDir(const fs::path& path) {
    std::string text = windowsPath(path);
    return text.back() == '\\' ? text : text + "\\";
}

std::string lines(const std::vector<std::string>& text) {
    std::string result;
    for (const std::string& line : text)
        result += line + "\r\n";
    return result;
}

static std::string words(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& word : list)
        text += " " + quoteArgument(word);
    return text;
}

fs::path wrap(const Target& target, const fs::path& dir, const std::string& name,
              const std::string& config, const std::string& archive,
              const std::vector<std::string>& extra) {
    // Inputs stay out of `dir`, where the launcher looks for external configurations.
    TempDir inputs;
    fs::path jar = inputs / "app.jar", input = inputs / "config";
    writeFile(jar, archive);
    writeFile(input, config);
    fs::create_directories(dir);
    fs::path exe = dir / (name + ".exe");
    ProcessResult result =
        runCommand(quoteArgument(TARNPACK) + " --target " + target.name + " --jar " +
                   quoteArgument(jar.string()) + " --config " + quoteArgument(input.string()) +
                   " --out " + quoteArgument(exe.string()) + words(extra) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    return exe;
}

void place(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void runAll(std::vector<Start> starts, int parallel) {
    TempDir outputs;
    std::vector<Outcome> outcomes(starts.size());
    std::vector<std::pair<pid_t, size_t>> running;
    auto out = [&](size_t i) { return outputs / (std::to_string(i) + ".out"); };
    auto err = [&](size_t i) { return outputs / (std::to_string(i) + ".err"); };
    auto finishOne = [&] {
        auto [pid, i] = running.front();
        running.erase(running.begin());
        outcomes[i].status = waitFor(pid);
    };
    for (size_t i = 0; i < starts.size(); ++i) {
        const Start& s = starts[i];
        if (s.exe.empty())
            continue;
        // A missing file would make wine-run fall back to the slow 32-bit loader.
        if (!fs::exists(s.exe))
            continue;
        if (int(running.size()) >= parallel)
            finishOne();
        running.push_back({spawn(s.exe, s.args, s.env, s.cwd, out(i), err(i)), i});
    }
    while (!running.empty())
        finishOne();
    for (size_t i = 0; i < starts.size(); ++i) {
        if (starts[i].exe.empty()) {
            std::cout << "[   NOTE   ] not run: " << starts[i].what << "\n";
            continue;
        }
        if (!fs::exists(starts[i].exe)) {
            ADD_FAILURE() << starts[i].what << ": " << starts[i].exe << " was not made";
            continue;
        }
        outcomes[i].out = withoutCarriageReturns(readFile(out(i)));
        outcomes[i].err = withoutCarriageReturns(readFile(err(i)));
        SCOPED_TRACE(starts[i].what + "\nstdout:\n" + outcomes[i].out + "stderr:\n" +
                     outcomes[i].err);
        starts[i].check(outcomes[i]);
    }
}

void runOne(Start start) {
    std::vector<Start> one;
    one.push_back(std::move(start));
    runAll(std::move(one), 1);
}

Outcome run(const fs::path& exe, const std::vector<std::string>& args, const Environment& env,
            const fs::path& cwd) {
    TempDir outputs;
    Outcome result;
    if (!fs::exists(exe)) {
        ADD_FAILURE() << exe << " was not made";
        return result;
    }
    result.status = waitFor(spawn(exe, args, env, cwd, outputs / "out", outputs / "err"));
    result.out = withoutCarriageReturns(readFile(outputs / "out"));
    result.err = withoutCarriageReturns(readFile(outputs / "err"));
    return result;
}

Background::Background(const fs::path& exe, const fs::path& outputDir, const Environment& env,
                       const fs::path& cwd) {
    static int count = 0;
    ++count;
    out_ = outputDir / ("background" + std::to_string(count) + ".out");
    err_ = outputDir / ("background" + std::to_string(count) + ".err");
    pid_ = spawn(exe, {}, env, cwd, out_, err_);
}

Background::~Background() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Background::waitForOutput(const std::string& text) const {
    auto until = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < until) {
        if (contains(readFile(out_), text))
            return true;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            return contains(readFile(out_), text); // ended; nothing more will come
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string Background::output() const {
    return "stdout:\n" + readFile(out_) + "stderr:\n" + readFile(err_);
}

void Background::signal(int sig) const {
    kill(pid_, sig);
}

Outcome Background::finish() {
    Outcome result;
    result.status = waitFor(pid_);
    pid_ = -1;
    result.out = withoutCarriageReturns(readFile(out_));
    result.err = withoutCarriageReturns(readFile(err_));
    return result;
}

Records records(const std::string& out) {
    Records result;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        if (line.rfind("FAKEJVM ", 0) != 0)
            continue;
        std::string record = unescape(line.substr(8));
        result.all.push_back(record);
        if (record.rfind("option[", 0) == 0)
            result.options.push_back(afterBracket(record));
        else if (record.rfind("arg[", 0) == 0)
            result.args.push_back(afterBracket(record));
        else if (record.rfind("property ", 0) == 0)
            result.properties.push_back(record.substr(9));
        else if (record.rfind("create ", 0) == 0 && result.create.empty())
            result.create = record;
        else if (record.rfind("main ", 0) == 0)
            result.main = record.substr(5);
    }
    return result;
}

bool Records::has(const std::string& record) const {
    for (const std::string& r : all)
        if (r == record)
            return true;
    return false;
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string lastLine(const std::string& text) {
    std::string body =
        !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text;
    size_t at = body.rfind('\n');
    return at == std::string::npos ? body : body.substr(at + 1);
}

} // namespace tarn::test
