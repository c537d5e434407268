// Building a small runtime for an application with the JDK's own tools:
// jdeps names the modules the application uses, jlink links just those.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnpack {

struct JlinkRequest {
    std::optional<std::string> jdk;        // default: JAVA_HOME, else the java on PATH
    std::optional<std::string> addModules; // comma-separated, added to what jdeps finds
    std::optional<std::string> jmods;      // the target's jmods folder (another OS's JDK)
    std::vector<std::string> jars;         // the application and its class path
    bool windowsTarget = false;
};

// Links the runtime into out, a folder that must not exist yet.
void buildRuntime(const JlinkRequest& request, const std::string& out);

// Class path entries named by the classpath lines of a configuration text
// that exist as JAR files (relative ones against base).
std::vector<std::string> configuredJars(const std::string& configText, const std::string& base);

} // namespace tarnpack
