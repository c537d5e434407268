#include "module_access.h"

#include "zip.h"

namespace tarnpack {

std::vector<std::string> moduleAccessLines(std::string_view manifest) {
    static const char* const attributes[][2] = {{"Add-Opens", "addopens"},
                                                {"Add-Exports", "addexports"},
                                                {"Enable-Native-Access", "enablenativeaccess"},
                                                {"Launcher-Agent-Class", "launcheragent"}};
    std::vector<std::string> lines;
    for (const auto& attribute : attributes) {
        if (std::optional<std::string> value = parseManifestAttribute(manifest, attribute[0])) {
            lines.push_back(std::string(attribute[1]) + " " + *value);
        }
    }
    return lines;
}

} // namespace tarnpack
