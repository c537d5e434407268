// Choosing the cache mechanism and the VM options that use or write a cache.
#include "cache/class_cache.h"

#include "base/hash.h"
#include "base/string_list.h"
#include "base/trace.h"
#include "cache/cache_files.h"
#include "config/launch_config.h"
#include "jvm/java_host.h"
#include "platform/platform.h"
#include "runtime/release.h"
#include "runtime/version.h"

#include <jni.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace tarn {

namespace {

// A cache that is missing or refused must cost nothing but speed: the JVM's
// cache warnings would otherwise land on the program's standard output.
// (-Xshare:auto is the default, and the AOT options refuse any -Xshare.)
// Java 25 logs the same under the aot tag, which older runtimes refuse.
void addQuietLogging(JavaHost& host, CacheMechanism mechanism, bool hasAotTag) {
    if (mechanism == CacheMechanism::dynamicArchive)
        host.addOption("-Xshare:auto");
    host.addOption("-Xlog:cds*=off");
    if (hasAotTag)
        host.addOption("-Xlog:aot*=off");
}

// The training run announces its file on standard output with a plain print
// that no -Xlog setting reaches. The VM's print hook drops that line (and the
// line break printed after it) and passes everything else on.
bool droppingNotice = false;

// vsnprintf into out, growing it as needed (the Windows C runtime answers a
// short buffer with -1 rather than the length it needs).
bool formatVmText(ByteString& out, const char* format, va_list args) {
    int32_t capacity = 1024;
    for (;;) {
        out.resize(capacity);
        va_list copy;
        va_copy(copy, args);
        int n = platform::formatText(out.data(), capacity, format, copy);
        va_end(copy);
        if (n >= 0 && n < capacity) {
            out.resize(n);
            return true;
        }
        if (capacity >= (1 << 24))
            return false;
        capacity = n >= capacity ? n + 1 : capacity * 2;
    }
}

jint JNICALL dropRecordingNotice(FILE* stream, const char* format, va_list args) {
    ByteString text;
    if (!formatVmText(text, format, args))
        return -1;
    bool endOfNotice = droppingNotice && text.equals("\n");
    droppingNotice = strstr(text.cStr(), "AOTConfiguration recorded: ") != nullptr;
    if (!droppingNotice && !endOfNotice)
        platform::writeVmText(stream, text.cStr(), text.length());
    return jint(text.length());
}

// Options by which the program manages class sharing itself; a cache of ours
// beside them could make the VM refuse to start. The VM also reads options
// from two environment variables.
bool mentionsSharing(const char* text) {
    static const char* const words[] = {"Xshare", "Shared", "ArchiveClasses", "AOT", "ClassList"};
    for (const char* word : words)
        if (text != nullptr && strstr(text, word) != nullptr)
            return true;
    return false;
}

bool managesSharingItself(const StringList& options) {
    for (int32_t i = 0; i < options.count(); ++i)
        if (mentionsSharing(options.item(i)))
            return true;
    return mentionsSharing(platform::getEnv("JAVA_TOOL_OPTIONS")) ||
           mentionsSharing(platform::getEnv("_JAVA_OPTIONS"));
}

void hashText(uint64_t& hash, const char* text) {
    // The terminator separates fields, so "ab"+"c" differs from "a"+"bc".
    hash = fnvHash(hash, text, int32_t(strlen(text)) + 1);
}

void hashFile(uint64_t& hash, const char* path) {
    platform::FileInfo info;
    platform::fileInfo(path, info);
    hashText(hash, path);
    hash = fnvHash(hash, &info.size, int32_t(sizeof info.size));
    hash = fnvHash(hash, &info.modified, int32_t(sizeof info.modified));
}

// The runtime's command-line launcher, which the AOT create step needs: bin/
// beside the library's lib/ (Linux) or above its bin/server/ (Windows).
ByteString findJavaCommand(const char* libraryPath) {
    ByteString directory(libraryPath);
    for (int level = 0; level < 3; ++level) {
        int32_t at = directory.findLastOf("/\\");
        if (at <= 0)
            break;
        directory.resize(at);
        ByteString candidate(directory);
        candidate.append("/bin/");
        candidate.append(platform::javaProgramName);
        if (platform::pathExists(candidate.cStr()))
            return candidate;
    }
    return ByteString();
}

// One option per line in the launcher's @file syntax, which is the same on
// every platform: quoted, with backslash and quote escaped.
void appendArgument(ByteString& text, const char* option) {
    text.appendChar('"');
    for (const char* p = option; *p; ++p) {
        if (*p == '"' || *p == '\\')
            text.appendChar('\\');
        text.appendChar(*p);
    }
    text.append("\"\n");
}

// The create step runs the same runtime with the training run's options (the
// AOT cache is only valid for those), minus logging that would overwrite the
// program's own log files.
bool writeCreateArguments(const PendingCache& pending, const StringList& options) {
    ByteString text;
    for (int32_t i = 0; i < options.count(); ++i)
        if (strncmp(options.item(i), "-Xlog", 5) != 0)
            appendArgument(text, options.item(i));
    appendArgument(text, "-XX:AOTMode=create");
    appendArgument(text, ByteString::concat("-XX:AOTConfiguration=", pending.recording).cStr());
    appendArgument(text, ByteString::concat("-XX:AOTCache=", pending.temporary).cStr());
    appendArgument(text, "-Xlog:all=off");
    appendArgument(text, "-version");
    ByteString path = pending.arguments.mid(1); // after the "@"
    FILE* file = platform::openFile(path.cStr(), "wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(text.cStr(), 1, size_t(text.length()), file) == size_t(text.length());
    return fclose(file) == 0 && written;
}

// The JVM archives classes from JAR files only: a folder on the class path
// makes it fail at exit, with an error and exit status 1, instead of writing.
bool classPathHasFolder(const StringList& options) {
    static const char key[] = "-Djava.class.path=";
    const char* classPath = nullptr;
    for (int32_t i = 0; i < options.count(); ++i)
        if (strncmp(options.item(i), key, sizeof key - 1) == 0)
            classPath = options.item(i) + sizeof key - 1; // the VM keeps the last one
    for (const char* p = classPath; p != nullptr && *p != 0;) {
        const char* end = strchr(p, platform::classPathSeparator);
        int32_t n = end ? int32_t(end - p) : int32_t(strlen(p));
        if (n > 0 && platform::isDirectory(ByteString(p, n).cStr()))
            return true;
        p = end ? end + 1 : nullptr;
    }
    return false;
}

} // namespace

CacheMechanism cacheMechanismFor(const char* version) {
    int release = featureRelease(version);
    if (release >= 25)
        return CacheMechanism::aotCache;
    if (release >= 13)
        return CacheMechanism::dynamicArchive;
    return CacheMechanism::none;
}

void addClassCacheOptions(const LaunchConfig& config, JavaHost& host, const char* libraryPath) {
    if (!config.lookup("cds", false, true).equalsNoCase("auto"))
        return;
    ByteString version;
    if (!readLibraryVersion(libraryPath, version)) {
        trace("class-data cache: no release file beside %s; none used", libraryPath);
        return;
    }
    CacheMechanism mechanism = cacheMechanismFor(version.cStr());
    if (mechanism == CacheMechanism::none) {
        trace("class-data cache: Java %s has none", version.cStr());
        return;
    }
    if (managesSharingItself(host.options())) {
        trace("class-data cache: the options manage class sharing; none used");
        return;
    }
    if (classPathHasFolder(host.options())) {
        trace("class-data cache: the class path holds a folder; none used");
        return;
    }
    const bool hasAotTag = mechanism == CacheMechanism::aotCache;
    PendingCache pending;
    if (mechanism == CacheMechanism::aotCache) {
        pending.javaCommand = findJavaCommand(libraryPath);
        // Without a launcher for the create step, the older archive still works.
        if (pending.javaCommand.isEmpty())
            mechanism = CacheMechanism::dynamicArchive;
    }
    if (!platform::userCacheDirectory(pending.directory)) {
        trace("class-data cache: no user cache folder");
        return;
    }
    pending.directory.append("/tarn/cds");
    if (!platform::makeDirectories(pending.directory.cStr())) {
        trace("class-data cache: cannot create %s", pending.directory.cStr());
        return;
    }
    pending.directory.appendChar('/');

    ByteString exePath = config.exePath();
    uint64_t key = fnvOffset;
    hashFile(key, exePath.cStr());
    hashFile(key, libraryPath);
    hashText(key, version.cStr());
    const StringList& options = host.options();
    for (int32_t i = 0; i < options.count(); ++i)
        hashText(key, options.item(i));
    pending.program = programPrefix(exePath);
    pending.prefix = pending.program;
    pending.prefix.appendChar('-');
    appendHex(pending.prefix, key, 16);
    pending.prefix.appendChar('-');
    pending.extension = ByteString(mechanism == CacheMechanism::aotCache ? ".aot" : ".jsa");

    ByteString cache = findSealedCache(pending.directory, pending.prefix, pending.extension.cStr());
    if (!cache.isEmpty()) {
        trace("class-data cache: using %s", cache.cStr());
        const char* use =
            mechanism == CacheMechanism::aotCache ? "-XX:AOTCache=" : "-XX:SharedArchiveFile=";
        host.addOption(ByteString::concat(use, cache).cStr());
        addQuietLogging(host, mechanism, hasAotTag);
        return;
    }

    removeStaleCaches(pending.directory, pending.program, ByteString(), pending.prefix);
    ByteString temporary = ByteString::concat(pending.directory.cStr(), pending.prefix);
    appendHex(temporary, uint64_t(platform::processId()), 1);
    pending.temporary = temporary;
    pending.temporary.append(".tmp");
    if (mechanism == CacheMechanism::aotCache) {
        pending.recording = temporary;
        pending.recording.append(".conf.tmp");
        pending.arguments = ByteString("@");
        pending.arguments.append(temporary);
        pending.arguments.append(".args.tmp");
        if (!writeCreateArguments(pending, options)) {
            trace("class-data cache: cannot write %s", pending.arguments.cStr() + 1);
            platform::removeFile(pending.arguments.cStr() + 1);
            return;
        }
        host.addOption("-XX:AOTMode=record");
        host.addOption(ByteString::concat("-XX:AOTConfiguration=", pending.recording).cStr());
        host.setPrintHook(reinterpret_cast<void*>(dropRecordingNotice));
        addQuietLogging(host, mechanism, hasAotTag);
    } else {
        host.addOption(ByteString::concat("-XX:ArchiveClassesAtExit=", pending.temporary).cStr());
        addQuietLogging(host, mechanism, hasAotTag);
    }
    trace("class-data cache: none yet; Java %s writes %s at exit", version.cStr(),
          pending.temporary.cStr());
    finishAtExit(pending);
}

} // namespace tarn
