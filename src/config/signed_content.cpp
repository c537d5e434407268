// Where a wrapped program's own bytes end. Code-signing tools (signtool,
// osslsigncode, jsign) append a certificate table to a Windows executable and
// point the PE security directory at it; the trailer then ends where that table
// begins. Any other file (an unsigned program, an ELF launcher) ends at its size.
#include "config/trailer.h"

namespace tarn {

static uint32_t read16(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

static uint32_t read32(const unsigned char* p) {
    return read16(p) | read16(p + 2) << 16;
}

int64_t signedContentEnd(const unsigned char* file, int64_t size) {
    const int64_t securityEntry = 4; // IMAGE_DIRECTORY_ENTRY_SECURITY
    if (file == nullptr || size < 0x40 || file[0] != 'M' || file[1] != 'Z')
        return size;
    int64_t header = read32(file + 0x3C);
    if (header > size - 24 || file[header] != 'P' || file[header + 1] != 'E' ||
        file[header + 2] != 0 || file[header + 3] != 0)
        return size;
    int64_t optional = header + 24;
    int64_t optionalSize = read16(file + header + 20);
    if (optional + 2 > size)
        return size;
    uint32_t magic = read16(file + optional);
    int64_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : -1;
    int64_t entry = optional + directories + 8 * securityEntry;
    if (directories < 0 || entry + 8 > size || entry + 8 > optional + optionalSize ||
        read32(file + optional + directories - 4) <= uint32_t(securityEntry))
        return size;
    // The entry holds a file offset, not an address. A table that does not fit
    // the file is no signature this launcher can trust to mark the end.
    int64_t table = read32(file + entry);
    int64_t length = read32(file + entry + 4);
    if (table == 0 || length == 0 || table > size || length > size - table)
        return size;
    return table;
}

} // namespace tarn
