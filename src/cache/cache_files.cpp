#include "cache/cache_files.h"

#include "base/hash.h"
#include "base/trace.h"
#include "cache/class_cache.h"
#include "platform/platform.h"

#include <stdlib.h>
#include <string.h>

namespace tarn {

namespace {

// A start that began this long ago has long finished writing its cache.
const int64_t abandonedAfterSeconds = 3600;

bool startsWith(const ByteString& text, const ByteString& prefix) {
    return text.length() >= prefix.length() &&
           memcmp(text.cStr(), prefix.cStr(), size_t(prefix.length())) == 0;
}

bool endsWith(const ByteString& text, const char* suffix) {
    int32_t n = int32_t(strlen(suffix));
    return text.length() >= n && memcmp(text.cStr() + text.length() - n, suffix, size_t(n)) == 0;
}

PendingCache pendingCache;
bool exitHandlerInstalled = false;

void finishPendingCache() {
    PendingCache& p = pendingCache;
    if (p.temporary.isEmpty())
        return;
    if (!p.recording.isEmpty() && platform::pathExists(p.recording.cStr())) {
        // The training run only recorded; a second JVM turns that into the cache.
        int status = platform::runQuietly(p.javaCommand.cStr(), p.arguments.cStr());
        trace("class-data cache: create step exited with %d", status);
    }
    if (!p.recording.isEmpty()) {
        platform::removeFile(p.recording.cStr());
        platform::removeFile(p.arguments.cStr() + 1); // after the "@"
    }
    platform::FileInfo written;
    if (!platform::fileInfo(p.temporary.cStr(), written) || written.size <= 0) {
        platform::removeFile(p.temporary.cStr());
        trace("class-data cache: the runtime wrote none");
        p.temporary = ByteString();
        return;
    }
    // The size goes into the name: a file that later loses bytes no longer matches it.
    ByteString name(p.prefix);
    appendHex(name, uint64_t(written.size), 1);
    name.append(p.extension);
    ByteString path = ByteString::concat(p.directory.cStr(), name);
    if (platform::renameFile(p.temporary.cStr(), path.cStr())) {
        trace("class-data cache: wrote %s", path.cStr());
        removeStaleCaches(p.directory, p.program, name, p.prefix);
    } else {
        platform::removeFile(p.temporary.cStr());
        trace("class-data cache: could not rename %s", p.temporary.cStr());
    }
    p.temporary = ByteString();
}

} // namespace

ByteString programPrefix(const ByteString& exePath) {
    ByteString name = exePath.mid(exePath.findLastOf("/\\") + 1);
    ByteString prefix;
    for (int32_t i = 0; i < name.length() && prefix.length() < 32; ++i) {
        char c = name[i];
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_';
        prefix.appendChar(plain ? c : '_');
    }
    prefix.appendChar('-');
    appendHex(prefix, fnvHash(fnvOffset, exePath.cStr(), exePath.length()) & 0xffffffffu, 8);
    return prefix;
}

int64_t sealedSize(const char* name, const ByteString& prefix, const char* extension) {
    ByteString text(name);
    if (!startsWith(text, prefix) || !endsWith(text, extension))
        return -1;
    int32_t end = text.length() - int32_t(strlen(extension));
    if (end <= prefix.length() || end - prefix.length() > 15)
        return -1;
    int64_t size = 0;
    for (int32_t i = prefix.length(); i < end; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return -1;
        size = size * 16 + digit;
    }
    return size;
}

ByteString findSealedCache(const ByteString& directory, const ByteString& prefix,
                           const char* extension) {
    ByteString found;
    platform::DirectoryScan scan;
    if (!platform::openDirectory(scan, directory.cStr()))
        return found;
    while (found.isEmpty() && platform::nextEntry(scan)) {
        int64_t size = sealedSize(scan.name.cStr(), prefix, extension);
        if (size < 0)
            continue;
        ByteString path = ByteString::concat(directory.cStr(), scan.name);
        platform::FileInfo info;
        if (platform::fileInfo(path.cStr(), info) && info.size == size) {
            found = path;
        } else {
            trace("class-data cache: %s is damaged; removing it", path.cStr());
            platform::removeFile(path.cStr());
        }
    }
    platform::closeDirectory(scan);
    return found;
}

void removeStaleCaches(const ByteString& directory, const ByteString& program,
                       const ByteString& keep, const ByteString& keyPrefix) {
    ByteString ours(program);
    ours.appendChar('-');
    int64_t now = platform::currentTime();
    platform::DirectoryScan scan;
    if (!platform::openDirectory(scan, directory.cStr()))
        return;
    while (platform::nextEntry(scan)) {
        if (scan.isDirectory || !startsWith(scan.name, ours) || scan.name.equals(keep.cStr()))
            continue;
        if (!keep.isEmpty() && startsWith(scan.name, keyPrefix) &&
            scan.name.compare(keep.cStr()) > 0)
            continue;
        ByteString path = ByteString::concat(directory.cStr(), scan.name);
        platform::FileInfo info;
        if (endsWith(scan.name, ".tmp") &&
            (!platform::fileInfo(path.cStr(), info) ||
             now - info.modified < abandonedAfterSeconds * platform::fileTimeTicksPerSecond))
            continue;
        if (platform::removeFile(path.cStr()))
            trace("class-data cache: removed %s", path.cStr());
    }
    platform::closeDirectory(scan);
}

void finishAtExit(const PendingCache& pending) {
    pendingCache = pending;
    // atexit handlers run after the JVM's own exit work, which writes the
    // archive, both when main returns and inside System.exit.
    if (!exitHandlerInstalled && atexit(finishPendingCache) == 0)
        exitHandlerInstalled = true;
}

} // namespace tarn
