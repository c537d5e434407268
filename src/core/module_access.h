// Module access that a JAR's manifest grants under `java -jar` (Add-Opens,
// Add-Exports, Enable-Native-Access), which tarnpack copies into the keys
// addopens, addexports and enablenativeaccess, and the agent it names.
#pragma once

namespace tarn {

class LaunchConfig;
class JavaHost;
class ByteString;

// Adds the VM options for those keys, as far as the runtime whose library is
// `library` knows them: a VM refuses to start on an option it does not know.
void addModuleAccessOptions(const LaunchConfig& config, JavaHost& host, const ByteString& library);

// Starts the agent of a `launcheragent` line (the manifest's Launcher-Agent-
// Class) in the created VM, as `java -jar` does before the main class. A
// failing agent is described by the VM; the launch goes on.
void startLauncherAgent(const LaunchConfig& config, JavaHost& host);

} // namespace tarn
