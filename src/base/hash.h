// Short names derived from longer text: a 64-bit FNV-1a hash written in
// hexadecimal (no decimal: 64-bit division would pull libgcc's DLL into the
// 32-bit Windows launcher).
#pragma once

#include "base/string.h"

#include <stdint.h>

namespace tarn {

// FNV-1a, continued from `hash` (start with fnvOffset).
const uint64_t fnvOffset = 14695981039346656037ULL;
uint64_t fnvHash(uint64_t hash, const void* data, int32_t n);
// Lower-case hexadecimal, at least minDigits long.
void appendHex(ByteString& out, uint64_t value, int minDigits);

} // namespace tarn
