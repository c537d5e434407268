// Conversions between the encodings a JNI client hands over and the UTF-8 records.
#pragma once

#include <string>

namespace fakejvm {

// Decodes JNI's modified UTF-8 (NUL as C0 80, supplementary characters as two
// three-byte surrogates). Returns false on anything a VM would not accept as such,
// including four-byte standard UTF-8 sequences.
bool modified_utf8_to_utf16(const std::string& in, std::u16string& out);

// Decodes standard UTF-8 leniently (bad bytes become U+FFFD); for environment values.
std::u16string utf8_to_utf16(const std::string& in);

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const std::u16string& in);

// Encodes UTF-16 for a record: UTF-8 with '\' as "\\", newline as "\n", and U+0000
// and unpaired surrogates as "\uXXXX", so every record stays on one line.
std::string record_utf16(const std::u16string& in);

// Escapes raw bytes for a record: '\' as "\\" and newline as "\n"; nothing else.
std::string record_bytes(const std::string& in);

} // namespace fakejvm
