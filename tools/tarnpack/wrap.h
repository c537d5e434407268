// Making a wrapped program (stub + configuration block + JAR) and taking one apart.
#pragma once

#include "jlink.h"

#include <optional>
#include <ostream>
#include <string>

namespace tarnpack {

constexpr uint64_t kMaxConfigSize = 1u << 20;

struct PackRequest {
    std::string jar;
    std::string out;
    std::string launcher;
    std::optional<std::string> config;
    std::optional<std::string> mainClass;
    // A runtime to embed: a folder, or one that jlink builds first.
    std::optional<std::string> runtime;
    std::optional<JlinkRequest> jlink;
};

void pack(const PackRequest& request);

// Describes a wrapped program on out; throws when path is not one.
void inspect(const std::string& path, std::ostream& out);

// The stub for target beside the running tarnpack: ../TARGET/ first (build
// tree), then ../lib/tarn/TARGET/ (installed).
std::string locateLauncher(const std::string& target, const std::string& argv0);

} // namespace tarnpack
