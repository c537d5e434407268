// The executable trailer: configuration block, its 32-bit length, 16 reserved
// bytes, the application archive and an optional archive comment.
#pragma once

#include <stdint.h>

namespace tarn {

// Bytes 0-3 receive the archive size from the generator, which finds the slot
// by its initial value, the ASCII text TARNSLOT. That text must appear nowhere
// else in the launcher image.
extern volatile unsigned char archiveSizeSlot[8];

// Offset where the program's content ends: the start of the certificate table
// of a signed Windows executable, else size.
int64_t signedContentEnd(const unsigned char* file, int64_t size);

const int32_t maxArchiveComment = 51200;
const int32_t endOfCentralDirectorySize = 22;

} // namespace tarn
