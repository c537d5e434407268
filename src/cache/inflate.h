// Raw DEFLATE (RFC 1951) decoding and CRC-32, for the runtime payload that
// tarnpack compresses with zlib. Decoding works on whole buffers: each runtime
// file is small enough to be held once in memory while it is written out.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tarn {

// Decodes one raw DEFLATE stream from in into out. True only when the stream
// is well formed, lies inside its input and produces exactly outSize bytes.
bool inflateRaw(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize);

// The CRC-32 of ZIP and zlib (polynomial 0xEDB88320), continued from crc.
uint32_t crc32Update(uint32_t crc, const unsigned char* data, size_t size);

} // namespace tarn
