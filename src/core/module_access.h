// Module access that a JAR's manifest grants under `java -jar` (Add-Opens,
// Add-Exports, Enable-Native-Access), which tarnpack copies into the keys
// addopens, addexports and enablenativeaccess.
#pragma once

namespace tarn {

class LaunchConfig;
class JavaHost;
class ByteString;

// Adds the VM options for those keys, as far as the runtime whose library is
// `library` knows them: a VM refuses to start on an option it does not know.
void addModuleAccessOptions(const LaunchConfig& config, JavaHost& host, const ByteString& library);

} // namespace tarn
