#include "jlink.h"

#include "io.h"
#include "progress.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace tarnpack {

namespace {

std::string quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a command; its standard output is returned, its standard error is kept
// for the message when it fails.
std::string runTool(const std::string& tool, const std::vector<std::string>& args) {
    std::string command = quote(tool);
    for (const std::string& arg : args) {
        command += " " + quote(arg);
    }
    command += " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw Error("cannot start " + tool);
    }
    std::string output;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), n);
    }
    int status = pclose(pipe);
    if (status != 0) {
        std::string name = fs::path(tool).filename().string();
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
            output.pop_back();
        }
        throw Error(name + " failed (exit status " +
                    std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : status) +
                    "): " + output);
    }
    return output;
}

// The JDK the launcher would find first on a development machine.
fs::path findJdk(const std::optional<std::string>& given) {
    fs::path home;
    if (given) {
        home = *given;
    } else if (const char* javaHome = std::getenv("JAVA_HOME"); javaHome && *javaHome) {
        home = javaHome;
    } else if (const char* path = std::getenv("PATH")) {
        std::stringstream entries(path);
        std::string entry;
        while (home.empty() && std::getline(entries, entry, ':')) {
            std::error_code ec;
            fs::path java = fs::canonical(fs::path(entry.empty() ? "." : entry) / "java", ec);
            if (!ec) {
                home = java.parent_path().parent_path();
            }
        }
    }
    if (home.empty()) {
        throw Error("no JDK for --jlink: pass --jdk DIR or set JAVA_HOME");
    }
    std::error_code ec;
    for (const char* tool : {"bin/jlink", "bin/jdeps"}) {
        if (!fs::is_regular_file(home / tool, ec)) {
            throw Error("JDK '" + home.string() + "' has no " + tool +
                        " (a JDK, not a JRE, is needed)");
        }
    }
    return home;
}

// "17" for a JDK whose release file says JAVA_VERSION="17.0.15"; "" when unknown.
std::string featureVersion(const fs::path& jdk) {
    std::ifstream release(jdk / "release");
    std::string line;
    while (std::getline(release, line)) {
        if (line.rfind("JAVA_VERSION=\"", 0) == 0) {
            std::string version = line.substr(14);
            size_t end = version.find_first_of(".\"");
            std::string feature = version.substr(0, end);
            // Java 8 and older say 1.8: no multi-release JARs there.
            return feature == "1" ? std::string() : feature;
        }
    }
    return std::string();
}

} // namespace

void buildRuntime(const JlinkRequest& request, const std::string& out) {
    fs::path jdk = findJdk(request.jdk);
    if (request.windowsTarget && !request.jmods) {
        throw Error(
            "--jlink for a Windows target needs --jmods DIR (the Windows JDK's jmods folder)");
    }
    Progress progress;
    progress.show("finding the modules the application uses (jdeps)");
    std::vector<std::string> args = {"--print-module-deps", "--ignore-missing-deps"};
    // jdeps refuses multi-release JARs unless told which version to read.
    if (std::string feature = featureVersion(jdk); !feature.empty()) {
        args.insert(args.end(), {"--multi-release", feature});
    }
    args.insert(args.end(), request.jars.begin(), request.jars.end());
    std::string modules = runTool((jdk / "bin/jdeps").string(), args);
    // The list is the last line; jdeps may print warnings before it.
    while (!modules.empty() && (modules.back() == '\n' || modules.back() == '\r')) {
        modules.pop_back();
    }
    modules = modules.substr(modules.find_last_of('\n') + 1);
    if (modules.empty()) {
        modules = "java.base";
    }
    if (request.addModules) {
        modules += "," + *request.addModules;
    }
    std::vector<std::string> link = {
        "--add-modules", modules, "--strip-debug", "--no-header-files", "--no-man-pages",
        "--output",      out};
    std::error_code ec;
    fs::path jmods = request.jmods ? fs::path(*request.jmods) : jdk / "jmods";
    if (request.jmods && !fs::is_directory(jmods, ec)) {
        throw Error("jmods folder '" + jmods.string() + "' does not exist");
    }
    // Without jmods, a JDK that supports it links from its own run-time image.
    if (fs::is_directory(jmods, ec)) {
        link.insert(link.begin(), {"--module-path", jmods.string()});
    }
    progress.show("linking a runtime of " + modules + " (jlink)");
    runTool((jdk / "bin/jlink").string(), link);
}

std::vector<std::string> configuredJars(const std::string& configText, const std::string& base) {
    std::vector<std::string> jars;
    std::stringstream lines(configText);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // "classpath value" or "classpath=value", as the launcher reads them.
        if (line.rfind("classpath ", 0) != 0 && line.rfind("classpath=", 0) != 0) {
            continue;
        }
        std::string value = line.substr(10);
        size_t at = 0;
        while (at <= value.size()) {
            size_t end = value.find_first_of(";:", at);
            std::string item =
                value.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? value.size() + 1 : end + 1;
            fs::path path = fs::path(item).is_absolute() ? fs::path(item) : fs::path(base) / item;
            std::error_code ec;
            if (!item.empty() && fs::is_regular_file(path, ec)) {
                jars.push_back(path.string());
            }
        }
    }
    return jars;
}

} // namespace tarnpack
