// Loading the store from its two sources: the external file beside the
// executable and the configuration block in the executable's trailer.
#include "config/trailer.h"

#include "base/convert.h"
#include "base/trace.h"
#include "config/launch_config.h"
#include "platform/platform.h"

namespace tarn {

// volatile keeps the compiler from folding the slot's value into the code.
__attribute__((used)) volatile unsigned char archiveSizeSlot[8] = {'T', 'A', 'R', 'N',
                                                                   'S', 'L', 'O', 'T'};

static uint32_t readLittleEndian32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void LaunchConfig::load() {
    ByteString path;
    platform::executablePath(path);
    volatile unsigned char* slot = archiveSizeSlot;
    uint32_t archiveSize = uint32_t(slot[0]) | uint32_t(slot[1]) << 8 | uint32_t(slot[2]) << 16 |
                           uint32_t(slot[3]) << 24;
    loadFrom(path, archiveSize);
}

void LaunchConfig::loadFrom(const ByteString& path, uint32_t archiveSize) {
    platform::MappedFile image;
    ByteString exe(path);
    bool mapped = !exe.isEmpty() && platform::mapFile(exe.cStr(), image);
    locateTrailer(image.data, image.size, archiveSize);
    captureWorkDir();
    setExePath(exe);
    readExternal();
    if (length_ > 0)
        append("\r\n", 2);
    externalLength_ = length_;
    readEmbedded(image.data, image.size);
    if (mapped)
        platform::unmapFile(image);
    if (lookup("disableexternal", true, true).equalsNoCase("true")) {
        memmove(data_, data_ + externalLength_, size_t(length_ - externalLength_));
        resize(length_ - externalLength_);
        externalLength_ = 0;
        trace("external configuration ignored: disableexternal is true");
    }
}

ByteString findArchiveComment(const unsigned char* file, int64_t size) {
    if (file == nullptr || size < endOfCentralDirectorySize)
        return ByteString("", 0);
    int64_t lowest = size - endOfCentralDirectorySize - maxArchiveComment;
    if (lowest < 0)
        lowest = 0;
    for (int64_t e = size - endOfCentralDirectorySize; e >= lowest; --e) {
        if (file[e] == 'P' && file[e + 1] == 'K' && file[e + 2] == 5 && file[e + 3] == 6) {
            const unsigned char* comment = file + e + endOfCentralDirectorySize;
            return ByteString(reinterpret_cast<const char*>(comment),
                              int32_t(size - e - endOfCentralDirectorySize));
        }
    }
    return ByteString("", 0);
}

// trailerEnd stays 0 when the file cannot hold the trailer it claims; nothing
// is then read from it.
void LaunchConfig::locateTrailer(const unsigned char* file, int64_t size, uint32_t archiveSize) {
    trailerEnd_ = 0;
    // A signature appended after wrapping is not part of the trailer.
    size = signedContentEnd(file, size);
    int64_t comment = findArchiveComment(file, size).length();
    int64_t end = size - comment - int64_t(archiveSize) - 16;
    if (file != nullptr && end >= 4 && end <= size && end <= INT32_MAX)
        trailerEnd_ = int32_t(end);
}

void LaunchConfig::readEmbedded(const unsigned char* file, int64_t) {
    uint32_t blockLength = trailerEnd_ < 4 ? 0 : readLittleEndian32(file + trailerEnd_ - 4);
    if (trailerEnd_ < 4 || blockLength > uint32_t(trailerEnd_ - 4)) {
        trace("embedded configuration: none");
        return;
    }
    trace("embedded configuration: %u bytes", unsigned(blockLength));
    const char* block = reinterpret_cast<const char*>(file + trailerEnd_ - 4 - blockLength);
    // The block's closing NUL, like any other, is dropped by the decoder.
    appendDecodedText(*this, block, int32_t(blockLength));
}

void LaunchConfig::readExternal() {
    if (exePath_.isEmpty())
        return;
    int32_t slash = exePath_.findLastOf("/\\");
    int32_t dot = exePath_.findLast('.');
    ByteString base = dot > slash ? exePath_.left(dot) : exePath_;
    const ByteString* stems[] = {&exePath_, &exePath_, &base, &base};
    const char* suffixes[] = {".cfg", ".config", ".cfg", ".config"};
    for (int i = 0; i < 4; ++i) {
        ByteString candidate(*stems[i]);
        candidate.append(suffixes[i]);
        // A path the system cannot take is no candidate.
        if (candidate.length() >= platform::maxPath)
            continue;
        ByteBuffer bytes;
        if (!platform::canRead(candidate.cStr()) ||
            !platform::readWholeFile(candidate.cStr(), bytes))
            continue;
        trace("external configuration: %s (%d bytes)", candidate.cStr(), int(bytes.length()));
        appendDecodedText(*this, bytes.data(), bytes.length());
        return;
    }
    trace("external configuration: none");
}

// A NUL byte (a zero unit in UTF-16) is dropped wherever it is: the store is
// zero-terminated text, and one stray NUL must not hide the lines after it.
void appendDecodedText(ByteString& store, const char* bytes, int32_t n) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    bool little = n >= 2 && b[0] == 0xFF && b[1] == 0xFE;
    bool big = n >= 2 && b[0] == 0xFE && b[1] == 0xFF;
    if (little || big) {
        int32_t count = (n - 2) / 2;
        WideString units;
        units.resize(count);
        int32_t used = 0;
        for (int32_t i = 0; i < count; ++i) {
            const unsigned char* p = b + 2 + 2 * i;
            char16_t unit = little ? char16_t(p[0] | p[1] << 8) : char16_t(p[0] << 8 | p[1]);
            if (unit != 0)
                units[used++] = unit;
        }
        units.resize(used);
        store.append(wideToUtf8(units.cStr(), used));
        return;
    }
    bool marked = n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
    int32_t start = marked ? 3 : 0;
    ByteString text;
    text.reserve(n - start + 1);
    for (int32_t i = start; i < n; ++i)
        if (bytes[i] != 0)
            text.appendChar(bytes[i]);
    // Editors save UTF-8 without a mark by default; text that is not UTF-8 was
    // saved in the code page. ASCII reads the same either way.
    if (marked || isValidUtf8(text.cStr(), text.length())) {
        store.append(text);
        return;
    }
    WideString wide = codePageToWide(text.cStr(), text.length());
    store.append(wideToUtf8(wide.cStr(), wide.length()));
}

void LaunchConfig::setExePath(const ByteString& path) {
    exePath_ = path;
    appHome_ = exePath_.left(exePath_.findLastOf("/\\") + 1);
}

void LaunchConfig::captureWorkDir() {
    if (!platform::currentDirectory(workDir_))
        workDir_ = ByteString("", 0);
    if (!workDir_.endsWithSeparator())
        workDir_.append("/");
}

} // namespace tarn
