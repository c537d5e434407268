// The launcher configuration as text: which encoding its byte-order mark
// announces, whether it names a main class, and adding a "mainclass" line
// without disturbing the rest of its bytes.
#pragma once

#include "io.h"

#include <optional>
#include <string>

namespace tarnpack {

enum class Encoding { Plain, Utf8, Utf16LE, Utf16BE };

Encoding detectEncoding(const Bytes& config);
const char* encodingName(Encoding encoding);

// Byte offset of the first NUL character (a zero unit in UTF-16), if any.
std::optional<size_t> findNul(const Bytes& config);

// True when some line's key is "mainclass" (ASCII case ignored, after leading spaces).
bool hasMainClassLine(const Bytes& config);

// config with "mainclass NAME" added in config's own encoding: as the first line
// when first is set (the launcher takes the first match), else as the last one.
// name is UTF-8.
Bytes addMainClassLine(const Bytes& config, const std::string& name, bool first);

// config with the line text (UTF-8) added in config's own encoding, first or last.
Bytes addConfigLine(const Bytes& config, const std::string& text, bool first);

// The text without its byte-order mark, as UTF-8.
std::string configToUtf8(const Bytes& config);

} // namespace tarnpack
