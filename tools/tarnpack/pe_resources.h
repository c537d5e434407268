// The Windows resources of a launcher stub: the icon, the version information
// and the manifest that Explorer and the loader read. tarnpack rebuilds the
// stub's resource section, which the launcher keeps as its last section.
#pragma once

#include "io.h"

#include <optional>
#include <ostream>
#include <string>

namespace tarnpack {

struct ResourceRequest {
    std::optional<std::string> icon;     // .ico file
    std::optional<std::string> manifest; // replaces the stub's manifest
    bool admin = false;                  // requestedExecutionLevel requireAdministrator
    std::optional<std::string> appVersion, name, vendor, description, copyright;
    std::string fileName; // of the program written, for OriginalFilename

    bool changesIcon() const { return icon.has_value(); }
    bool changesManifest() const { return manifest || admin; }
    bool changesVersion() const { return appVersion || name || vendor || description || copyright; }
    bool any() const { return changesIcon() || changesManifest() || changesVersion(); }
};

// Checks a --app-version value: one to four numbers 0-65535 separated by dots.
bool isAppVersion(const std::string& text);

// Rewrites the resource section of `stub` (a whole PE file) as asked and fixes
// the section table, SizeOfImage, the resource directory entry and the size of
// initialized data. The checksum is left to the caller (it covers the trailer).
void applyResources(Bytes& stub, const ResourceRequest& request, const std::string& stubName);

// Lists the icon sizes, version strings and manifest of the PE file whose first
// bytes are `image`; nothing for a file that has no resources.
void describeResources(const Bytes& image, std::ostream& out);

} // namespace tarnpack
