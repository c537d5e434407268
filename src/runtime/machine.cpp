#include "runtime/machine.h"

#include "platform/platform.h"

namespace tarn {

namespace {

// The PE header may lie anywhere the DOS header points to; linkers put it in
// the first few hundred bytes.
const int32_t headLength = 4096;

unsigned read16(const unsigned char* p, bool bigEndian) {
    return bigEndian ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
}

bool readMachine(const char* path, ImageMachine& out) {
    unsigned char head[headLength];
    int32_t n = platform::readFileHead(path, head, headLength);
    return n > 0 && parseImageMachine(head, n, out);
}

} // namespace

bool parseImageMachine(const unsigned char* data, int32_t n, ImageMachine& out) {
    if (n >= 20 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
        if (data[4] != 1 && data[4] != 2)
            return false;
        out.format = ImageMachine::elf;
        out.bits = data[4] == 1 ? 32 : 64;
        out.machine = int(read16(data + 18, data[5] == 2));
        return true;
    }
    if (n < 0x40 || data[0] != 'M' || data[1] != 'Z')
        return false;
    uint32_t at = uint32_t(data[0x3C]) | uint32_t(data[0x3D]) << 8 | uint32_t(data[0x3E]) << 16 |
                  uint32_t(data[0x3F]) << 24;
    // Signature, file header (20 bytes) and the optional header's magic.
    if (at > uint32_t(n) - 26 || data[at] != 'P' || data[at + 1] != 'E' || data[at + 2] != 0 ||
        data[at + 3] != 0)
        return false;
    unsigned magic = read16(data + at + 24, false);
    if (magic != 0x10B && magic != 0x20B)
        return false;
    out.format = ImageMachine::pe;
    out.machine = int(read16(data + at + 4, false));
    out.bits = magic == 0x10B ? 32 : 64;
    return true;
}

ByteString machineMismatch(const char* programPath, const char* libraryPath) {
    // The program does not change during a run: its header is read once.
    static ImageMachine program;
    static ByteString programRead;
    if (!programRead.equals(programPath)) {
        program = ImageMachine();
        readMachine(programPath, program);
        programRead = ByteString(programPath);
    }
    ImageMachine library;
    if (program.format == ImageMachine::unknown || !readMachine(libraryPath, library))
        return ByteString("", 0);
    if (library.format == program.format && library.machine == program.machine)
        return ByteString("", 0);
    if (library.bits == program.bits)
        return ByteString("a runtime for another machine cannot run in this program");
    ByteString reason(library.bits == 64 ? "a 64-bit" : "a 32-bit");
    reason.append(" runtime cannot run in this ");
    reason.append(program.bits == 64 ? "64-bit" : "32-bit");
    reason.append(" program");
    return reason;
}

} // namespace tarn
