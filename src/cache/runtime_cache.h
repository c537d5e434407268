// The runtime embedded in the executable: found through the trailer's
// descriptor, extracted once per user into <cache>/tarn/runtimes/<hash>/ and
// shared by every program that embeds the same runtime.
//
// Extraction writes a private folder <hash>.part-<pid>, checks every file's
// CRC-32 and size, writes the marker file last and renames the folder into
// place. A start therefore sees a complete runtime or none; concurrent first
// starts each extract and the first rename wins.
#pragma once

#include "base/string.h"

#include <stdint.h>

namespace tarn {

class LaunchConfig;

// Descriptor of the payload, held in the trailer's 16 reserved bytes.
const char runtimeDescriptorMagic[4] = {'T', 'R', 'N', 'R'};
const uint32_t runtimePayloadVersion = 1;
// The payload's fixed header: magic, hex SHA-256, entry count, table size.
const char runtimePayloadMagic[8] = {'T', 'A', 'R', 'N', 'R', 'U', 'N', 'T'};
const int32_t runtimeHashLength = 64;
const int32_t runtimeHeaderSize = 96;
const int32_t runtimeEntryFixedSize = 36;
// Written into the folder last; without it a folder is never used.
const char* const runtimeMarkerName = ".tarn-complete";

class EmbeddedRuntime {
  public:
    // The jre_order source r: the runtime library inside the cached folder,
    // extracting it first when needed. "" when the program embeds no runtime
    // or the extraction failed (failedFolder() tells which).
    static ByteString locate(LaunchConfig& config);
    // The folder that could not be written, or null when nothing failed.
    static const ByteString* failedFolder();
};

} // namespace tarn
