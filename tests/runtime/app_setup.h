// An application installed in a temporary folder for discovery and class path
// tests: <temp>/app/app(.exe) with its configuration, and <temp>/work/ as the
// process's current directory, so the two resolution roots differ.
#pragma once

#include "config/launch_config.h"
#include "platform/platform.h"
#include "support/test_support.h"

#include <memory>
#include <string>

namespace tarn::test {

inline std::string text(const ByteString& s) {
    return std::string(s.data() ? s.data() : "", size_t(s.length()));
}

// Creates a file (and its folders); ".." in the path is resolved first so that
// trees can be described by the very paths the launcher builds.
inline void place(const std::string& path, const std::string& bytes = "x") {
    writeFile(fs::path(path).lexically_normal(), bytes);
}

class ScopedCurrentDirectory {
  public:
    explicit ScopedCurrentDirectory(const fs::path& to) : old_(fs::current_path()) {
        fs::create_directories(to);
        fs::current_path(to);
    }
    ~ScopedCurrentDirectory() { fs::current_path(old_); }

  private:
    fs::path old_;
};

class AppSetup {
  public:
    AppSetup() : cwd(temp.path() / "work"), home(temp.dir() + "app" + separator()) {
        fs::create_directories(temp.path() / "app");
        writeFile(home + "app" + exeSuffix, "stub");
        reconfigure("");
    }
    ~AppSetup() { currentConfig = nullptr; }

    // A fresh configuration (the vm flavour is cached per configuration) holding
    // lines, each ended by CRLF, published as the run's configuration.
    LaunchConfig& reconfigure(const std::string& lines) {
        config_.reset(new LaunchConfig(false));
        config_->setExePath(ByteString((home + "app" + exeSuffix).c_str()));
        config_->captureWorkDir();
        std::string rest = lines;
        while (!rest.empty()) {
            size_t end = rest.find('\n');
            std::string line = rest.substr(0, end);
            config_->append((line + "\r\n").c_str());
            rest = end == std::string::npos ? "" : rest.substr(end + 1);
        }
        currentConfig = config_.get();
        return *config_;
    }
    LaunchConfig& config() { return *config_; }
    std::string exePath() const { return home + "app" + exeSuffix; }
    // The working directory as the configuration recorded it (ends in a separator).
    std::string workDir() const { return text(config_->workDir()); }
    static std::string separator() { return std::string(1, char(fs::path::preferred_separator)); }

    // Declared in this order so the current directory is restored before the
    // folder is removed (Windows cannot remove a current directory).
    TempDir temp;
    ScopedCurrentDirectory cwd;
    const std::string home; // the application home, ending in its separator

  private:
    std::unique_ptr<LaunchConfig> config_;
};

} // namespace tarn::test
