// The manifest attributes through which a JAR asks `java -jar` for module
// access, turned into launcher configuration lines at wrap time: the stub has no
// decompressor to read a manifest itself, and the manifest does not change once
// the program is wrapped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnpack {

// "addopens M/P ...", "addexports M/P ...", "enablenativeaccess ALL-UNNAMED" and
// "launcheragent CLASS" for the main section's Add-Opens, Add-Exports,
// Enable-Native-Access and Launcher-Agent-Class.
std::vector<std::string> moduleAccessLines(std::string_view manifest);

} // namespace tarnpack
