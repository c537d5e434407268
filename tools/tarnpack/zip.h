// Just enough ZIP reading for tarnpack: where an archive ends, and the
// Main-Class of a JAR manifest.
#pragma once

#include "io.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnpack {

constexpr uint64_t kEndRecordSize = 22;
constexpr uint64_t kMaxArchiveComment = 51200;

// Where the launcher will look for the end-of-central-directory record: the
// first "PK\5\6" met scanning backwards from end - 22 down to end - 51,222.
std::optional<uint64_t> launcherEndSearch(const InputFile& file, uint64_t end);

// A record at offset whose comment-length field reaches exactly to end.
bool isCompleteEndRecord(const InputFile& file, uint64_t offset, uint64_t end);

// True when a complete end record sits where the launcher would look, i.e. the
// file already ends in an archive.
bool endsWithArchive(const InputFile& file);

struct ArchiveLayout {
    uint64_t endRecord = 0;   // offset of the end-of-central-directory record
    uint64_t archiveSize = 0; // A: through the record's 22 fixed bytes
    uint64_t commentSize = 0; // K: everything after them
};

// A and K for a JAR, or an Error when the launcher's search would not land on
// the JAR's real end record.
ArchiveLayout measureArchive(const InputFile& jar);

// The text of META-INF/MANIFEST.MF, or nothing when the JAR has none. Throws
// when the manifest is damaged.
std::optional<std::string> manifestText(const InputFile& jar, const ArchiveLayout& layout);

// An attribute of the main section of manifest text (name ASCII case ignored),
// without surrounding blanks; nothing when absent or empty.
std::optional<std::string> parseManifestAttribute(std::string_view text, const std::string& name);
inline std::optional<std::string> parseManifestMainClass(std::string_view text) {
    return parseManifestAttribute(text, "Main-Class");
}

} // namespace tarnpack
