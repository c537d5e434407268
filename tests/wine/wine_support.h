// Wrapping Windows programs and starting them under Wine from the Linux build.
#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tarn::test {

// One Windows build: its launcher stub and the runtime doubles built with it.
struct Target {
    int bits = 0;     // 32 or 64
    std::string name; // win32, win64
    fs::path build;   // build/<name>
    fs::path stub() const { return build / "tarn.exe"; }
    fs::path windowless() const { return build / "tarnw.exe"; }
    // Reads resources through the Windows API, starts programs without handles.
    fs::path probe() const { return build / "tests/windows_probe.exe"; }
    fs::path runtime() const { return build / "tests/fakejvm/runtime/jvm.dll"; }
    fs::path noEntry() const { return build / "tests/fakejvm/noentry/jvm.dll"; }
    fs::path needsCompanion() const { return build / "tests/fakejvm/needs_companion/jvm.dll"; }
    fs::path companion() const { return build / "tests/fakejvm/companion/companion.dll"; }
    // reg.exe's switch for the registry view a process of this bitness reads.
    std::string registryView() const { return bits == 32 ? "/reg:32" : "/reg:64"; }
    // Why programs of this bitness cannot run here; "" when they can.
    std::string unavailable() const;
    // True when this kernel runs 32-bit Wine only through qemu-i386.
    bool emulated() const;
};
const Target& win32Target();
const Target& win64Target();

// The Wine prefix every start uses: $WINEPREFIX, else build/wineprefix.
fs::path winePrefix();

// A Linux path as Wine shows it to Windows programs: Z: and backslashes.
std::string windowsPath(const fs::path& path);
// The same for a directory, ending in a backslash as the launcher's homes do.
std::string windowsDir(const fs::path& path);

// Config text from lines: each line ends in CR LF.
std::string lines(const std::vector<std::string>& text);
const std::string utf8Mark = "\xEF\xBB\xBF";

// Wraps an archive (by default an empty ZIP) into dir/name.exe for the target
// with the config text; `extra` words go to tarnpack as well.
fs::path wrap(const Target& target, const fs::path& dir, const std::string& name,
              const std::string& config, const std::string& archive = emptyZip(),
              const std::vector<std::string>& extra = {});

// Copies a file, creating the directories it goes into.
void place(const fs::path& from, const fs::path& to);

// Environment changes for a child; nullopt removes a variable. Every child starts
// without JAVA_HOME, JRE_HOME, CLASSPATH, CLASS_PATH and FAKEJVM_* switches, with
// LC_ALL=C.UTF-8 and Wine's debug output off.
using Environment = std::map<std::string, std::optional<std::string>>;

// Standard streams of a run with CR LF turned into LF.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// One start of a wrapped program under Wine, and what it must show.
struct Start {
    std::string what; // shown when a check fails
    fs::path exe;
    std::vector<std::string> args;
    Environment env;
    fs::path cwd;
    std::function<void(const Outcome&)> check;
    std::shared_ptr<void> keep; // held until checked (registry keys...)
};

// Runs the starts, at most `parallel` at a time, then checks each in order.
void runAll(std::vector<Start> starts, int parallel = 1);
void runOne(Start start);
Outcome run(const fs::path& exe, const std::vector<std::string>& args = {},
            const Environment& env = {}, const fs::path& cwd = fs::path());

// A wrapped program running in the background, its output going to files.
class Background {
  public:
    Background(const fs::path& exe, const fs::path& outputDir, const Environment& env = {},
               const fs::path& cwd = fs::path());
    ~Background(); // kills the process if it still runs
    bool waitForOutput(const std::string& text) const;
    void signal(int sig) const;
    Outcome finish();           // waits for the exit (kills it after a generous deadline)
    std::string output() const; // both streams so far, for failure messages

  private:
    pid_t pid_ = -1;
    fs::path out_, err_;
};

// The FAKEJVM records on standard output, unescaped.
struct Records {
    std::vector<std::string> all; // every record, without the "FAKEJVM " prefix
    std::vector<std::string> options, properties, args;
    std::string create, main;
    bool has(const std::string& record) const;
};
Records records(const std::string& out);

bool contains(const std::string& haystack, const std::string& needle);
std::string lastLine(const std::string& text);
size_t count(const std::string& text, const std::string& part);

// The launcher's messages as the string table holds them.
namespace message {
const std::string notFound = "Java Runtime Environment not found.";
const std::string notValid = "Java Runtime Environment not valid.";
const std::string startFailed = "Java Virtual Machine starts failed.";
const std::string noVersion = "Can not get the virtual machine version.";
const std::string noClass = "The main startup class could not be found.";
const std::string noMain = "The main startup class is not valid, main method missing.";
const std::string running = "There is already an instance of this program running.";
} // namespace message

// Tests of one bitness: skipped with the reason when it cannot run here.
template <int Bits> class WineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why = target.unavailable();
        if (!why.empty())
            GTEST_SKIP() << why;
    }
    const Target& target = Bits == 32 ? win32Target() : win64Target();
    TempDir dir;
};
using Win64Test = WineTest<64>;
using Win32Test = WineTest<32>;

} // namespace tarn::test
