// Making a wrapped program (stub + configuration block + JAR) and taking one apart.
#pragma once

#include "jlink.h"
#include "pe_resources.h"

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
    ResourceRequest resources;
    bool strict = false; // configuration warnings become errors
    // A runtime to embed: a folder, or one that jlink builds first.
    std::optional<std::string> runtime;
    std::optional<JlinkRequest> jlink;
};

void pack(const PackRequest& request);

class InputFile;
// True when file is a program that tarnpack made (stub, trailer and archive).
bool isWrappedProgram(const InputFile& file);

// Describes a wrapped program on out; throws when path is not one.
void inspect(const std::string& path, std::ostream& out);

// The stub for target beside the running tarnpack: ../TARGET/ first (build
// tree), then ../lib/tarn/TARGET/ (installed).
std::string locateLauncher(const std::string& target, const std::string& argv0);

} // namespace tarnpack
