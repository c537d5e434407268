// Which machine a program or library was built for, read from its first bytes
// (the PE Machine field, the ELF e_machine field): a library of another machine
// can never load into the launcher, so discovery passes it over.
#pragma once

#include "base/string.h"

namespace tarn {

struct ImageMachine {
    enum Format { unknown, elf, pe } format = unknown;
    int machine = 0; // e_machine or Machine
    int bits = 0;    // 32 or 64
};

// The header of data (n bytes from the start of a file); false when it is not
// an ELF or PE image or is cut short.
bool parseImageMachine(const unsigned char* data, int32_t n, ImageMachine& out);

// Why the library cannot load into the program, or "" when it can or when
// either file's header cannot be read (the loader then has the last word).
ByteString machineMismatch(const char* programPath, const char* libraryPath);

} // namespace tarn
