// Assembles java.class.path: the executable (its trailer holds the application
// archive), configured entries, archives under libs directories, then the
// environment's CLASSPATH and CLASS_PATH.
#include "classpath/class_path.h"

#include "base/string_list.h"
#include "config/expand.h"
#include "config/launch_config.h"
#include "platform/platform.h"

namespace tarn {

namespace {

struct PieceSink {
    LaunchConfig* config;
    ByteString* entries;
};

// ValueCallback for classpath: splits the raw value before expanding, so a
// variable that holds several entries stays one piece.
void addConfiguredPieces(void* context, const char* value) {
    PieceSink* sink = static_cast<PieceSink*>(context);
    const char* p = value;
    while (*p) {
        const char* start = p;
        while (*p && !charInSet(platform::classPathSplitChars, *p))
            ++p;
        if (p > start) {
            ByteString piece(start, int32_t(p - start));
            sink->entries->appendChar(platform::classPathSeparator);
            sink->entries->append(sink->config->resolvePath(expandValue(piece, false)));
        }
        if (*p)
            ++p;
    }
}

bool isArchiveName(const ByteString& name) {
    int32_t dot = name.findLast('.');
    if (dot < 0)
        return false;
    ByteString extension = name.mid(dot);
    return extension.equalsNoCase(".jar") || extension.equalsNoCase(".zip");
}

// To Java an empty entry, like ".", means the working directory: nothing may be
// loaded from there because a variable happens to be empty, so such entries go.
void appendVariable(ByteString& classPath, const char* name) {
    const char* p = platform::getEnv(name);
    if (p == nullptr)
        return;
    while (*p) {
        const char* start = p;
        while (*p && *p != platform::classPathSeparator)
            ++p;
        int32_t n = int32_t(p - start);
        if (n > 0 && !(n == 1 && start[0] == '.')) {
            classPath.appendChar(platform::classPathSeparator);
            classPath.append(start, n);
        }
        if (*p)
            ++p;
    }
}

} // namespace

ByteString ClassPathBuilder::build(LaunchConfig& config) {
    // The configuration recorded the OS's path of the executable at load.
    ByteString classPath = config.exePath();
    if (classPath.isEmpty())
        platform::executablePath(classPath);

    ByteString configured;
    PieceSink sink = {&config, &configured};
    config.findValue("classpath", addConfiguredPieces, &sink, false, true);
    classPath.append(configured);

    StringList libraries;
    config.collectValues("libs", libraries, false, true);
    for (int32_t i = 0; i < libraries.count(); ++i) {
        ByteString directory = config.resolvePath(ByteString(libraries.item(i)));
        ByteString archives;
        scanArchives(directory.cStr(), archives);
        if (!archives.isEmpty())
            classPath.append(archives);
    }

    appendVariable(classPath, "CLASSPATH");
    appendVariable(classPath, "CLASS_PATH");
    classPath.cStr();
    return classPath;
}

void ClassPathBuilder::scanArchives(const char* directory, ByteString& out) {
    ByteString folder(directory);
    if (!folder.endsWithSeparator())
        folder.append("/");
    platform::DirectoryScan scan;
    if (!platform::openDirectory(scan, folder.cStr()))
        return;
    while (platform::nextEntry(scan)) {
        if (scan.name.equals(".") || scan.name.equals(".."))
            continue;
        if (scan.isDirectory) {
            // Depth first: a subdirectory's archives stand where it was met.
            ByteString child(folder);
            child.append(scan.name);
            scanArchives(child.cStr(), out);
        } else if (isArchiveName(scan.name)) {
            out.appendChar(platform::classPathSeparator);
            out.append(folder);
            out.append(scan.name);
        }
    }
    platform::closeDirectory(scan);
}

} // namespace tarn
