// Judging candidates, and the sources that find many: every JavaSoft key (j),
// the vendors' keys (v), java on PATH (p) and the well-known folders (d).
#include "runtime/discovery.h"

#include "base/trace.h"
#include "config/launch_config.h"
#include "platform/platform.h"
#include "runtime/locator.h"
#include "runtime/machine.h"
#include "runtime/release.h"
#include "runtime/version.h"

#include <ctype.h>

namespace tarn {

namespace {

const int32_t maxPassedOverLines = 10;
const int32_t valueBufferSize = 1024;

bool isSeparator(char ch) {
    return ch == '/' || ch == '\\';
}

bool listed(const StringList& list, const ByteString& text) {
    for (int32_t i = 0; i < list.count(); ++i)
        if (text.equals(list.item(i)))
            return true;
    return false;
}

} // namespace

ByteString versionFromName(const char* name) {
    if (name == nullptr)
        return ByteString("", 0);
    // The last component of a path, trailing separators aside.
    int32_t end = int32_t(strlen(name));
    while (end > 0 && isSeparator(name[end - 1]))
        --end;
    int32_t start = end;
    while (start > 0 && !isSeparator(name[start - 1]))
        --start;
    while (start < end && !isdigit((unsigned char)name[start]))
        ++start;
    int32_t stop = start;
    while (stop < end &&
           (isdigit((unsigned char)name[stop]) || name[stop] == '.' || name[stop] == '_'))
        ++stop;
    while (stop > start && !isdigit((unsigned char)name[stop - 1]))
        --stop;
    return ByteString(name + start, stop - start);
}

RuntimeSearch::RuntimeSearch(LaunchConfig& config)
    : config_(config), minJre_(config.minJre()), maxJre_(config.maxJre()) {
    minCount_ = parseVersion(minJre_.cStr(), min_);
    maxCount_ = parseVersion(maxJre_.cStr(), max_);
}

void RuntimeSearch::passOver(const char* where, const char* reason) {
    trace("  %s: passed over, %s", where, reason);
    if (passedOver_.count() >= maxPassedOverLines)
        return;
    ByteString line("  passed over ");
    line.append(where);
    line.append(": ");
    line.append(reason);
    passedOver_.add(line.cStr());
}

bool RuntimeSearch::accepts(const char* where, const ByteString& library, const char* name,
                            ByteString& version) {
    if (library.isEmpty()) {
        trace("  %s: no runtime library there", where);
        return false;
    }
    ByteString real;
    if (!platform::realPath(library.cStr(), real))
        real = library;
    if (listed(seen_, real)) {
        trace("  %s: %s seen already", where, library.cStr());
        return false;
    }
    seen_.add(real.cStr());
    ByteString mismatch = machineMismatch(config_.exePath().cStr(), library.cStr());
    if (!mismatch.isEmpty()) {
        passOver(where, mismatch.cStr());
        return false;
    }
    if (!readLibraryVersion(library.cStr(), version))
        version = versionFromName(name);
    int fields[4];
    int count = parseVersion(version.cStr(), fields);
    // The texts stay short whatever a release file or a bound says.
    ByteString shown = version.left(40);
    ByteString reason("Java ");
    reason.append(shown.cStr());
    if (count > 0 && compareVersions(fields, count, min_, minCount_) < 0) {
        reason.append(" is below the required ");
        reason.append(minJre_.left(40).cStr());
        passOver(where, reason.cStr());
        return false;
    }
    if (count > 0 && compareVersions(fields, count, max_, maxCount_) > 0) {
        reason.append(" is above the allowed ");
        reason.append(maxJre_.left(40).cStr());
        passOver(where, reason.cStr());
        return false;
    }
    trace("  %s: %s, Java %s, accepted", where, library.cStr(),
          count > 0 ? shown.cStr() : "of unknown version");
    return true;
}

bool RuntimeSearch::judge(const char* where, const ByteString& library, const char* name) {
    ByteString version;
    return accepts(where, library, name, version);
}

void RuntimeSearch::offer(const char* where, const ByteString& library, const char* name) {
    ByteString version;
    if (!accepts(where, library, name, version))
        return;
    int fields[4];
    int count = parseVersion(version.cStr(), fields);
    bool newer = newest_.isEmpty() ||
                 (count > 0 && (newestCount_ <= 0 ||
                                compareVersions(fields, count, newestVersion_, newestCount_) > 0));
    if (!newer)
        return;
    newest_ = library;
    newestCount_ = count;
    for (int i = 0; i < 4; ++i)
        newestVersion_[i] = i < count ? fields[i] : 0;
}

ByteString RuntimeSearch::takeNewest() {
    ByteString newest = newest_;
    newest_ = ByteString("", 0);
    newestCount_ = -1;
    return newest;
}

namespace {

// The names of the subkeys of root\path in one view.
void listSubkeys(platform::RegistryRoot root, int view, const char* path, StringList& names) {
    void* key = platform::openRegistryKey(root, view, path);
    if (key == nullptr)
        return;
    ByteString name;
    for (int32_t i = 0; platform::registrySubkey(key, i, name); ++i)
        names.add(name.cStr());
    platform::closeKey(key);
}

bool readValue(platform::RegistryRoot root, int view, const ByteString& path, const char* value,
               ByteString& out) {
    void* key = platform::openRegistryKey(root, view, path.cStr());
    if (key == nullptr)
        return false;
    char buffer[valueBufferSize];
    bool read = platform::readKeyString(key, value, buffer, valueBufferSize);
    platform::closeKey(key);
    if (read)
        out = ByteString(buffer);
    return read && !out.isEmpty();
}

ByteString subkey(const char* path, const char* name) {
    ByteString joined(path);
    joined.append("\\");
    joined.append(name);
    return joined;
}

// Machine-wide installs first, then per-user ones; each in both views.
struct RegistryPlace {
    platform::RegistryRoot root;
    int view;
};
int32_t registryPlaces(RegistryPlace places[4]) {
    static const platform::RegistryRoot roots[] = {platform::RegistryRoot::machine,
                                                   platform::RegistryRoot::user};
    int32_t n = 0;
    for (platform::RegistryRoot root : roots)
        for (int view = 0; view < platform::registryViewCount; ++view)
            places[n++] = RegistryPlace{root, view};
    return n;
}

// A home folder named by a registry value. A stale value (the folder is gone
// but the key stayed) is skipped silently: only the trace mentions it.
void offerHome(RuntimeSearch& search, const ByteString& home, const char* name) {
    if (!fileExists(home.cStr())) {
        trace("  %s: gone", home.cStr());
        return;
    }
    search.offer(home.cStr(), RuntimeLocator::probeDirectory(search.config(), home.cStr()), name);
}

} // namespace

ByteString RuntimeLocator::fromJavaSoftKeys(RuntimeSearch& search) {
    static const char* const keys[] = {"SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE",
                                       "SOFTWARE\\JavaSoft\\Java Development Kit",
                                       "SOFTWARE\\JavaSoft\\Java Runtime Environment"};
    RegistryPlace places[4];
    int32_t placeCount = registryPlaces(places);
    for (int32_t p = 0; p < placeCount; ++p) {
        for (const char* path : keys) {
            StringList versions;
            listSubkeys(places[p].root, places[p].view, path, versions);
            for (int32_t i = 0; i < versions.count(); ++i) {
                ByteString versionKey = subkey(path, versions.item(i));
                void* key =
                    platform::openRegistryKey(places[p].root, places[p].view, versionKey.cStr());
                if (key == nullptr)
                    continue;
                ByteString where;
                ByteString library = libraryFromKey(search.config(), key, where);
                platform::closeKey(key);
                if (where.isEmpty())
                    continue;
                if (library.isEmpty() && !fileExists(where.cStr())) {
                    trace("  %s: gone", where.cStr());
                    continue;
                }
                search.offer(where.cStr(), library, versions.item(i));
            }
        }
    }
    return search.takeNewest();
}

ByteString RuntimeLocator::fromVendorKeys(RuntimeSearch& search) {
    static const char* const vendors[] = {"Eclipse Adoptium", "AdoptOpenJDK", "Eclipse Foundation",
                                          "Microsoft", "Semeru"};
    // <vendor>\<JDK|JRE>\<version>\<vm>\<MSI|EXE> holds the home as Path.
    static const char* const kinds[] = {"JDK", "JRE"};
    static const char* const installers[] = {"MSI", "EXE"};
    // <vendor>\<product>\<name> holds the home as InstallationPath.
    static const char* const flat[] = {"SOFTWARE\\Azul Systems\\Zulu",
                                       "SOFTWARE\\BellSoft\\Liberica"};
    RegistryPlace places[4];
    int32_t placeCount = registryPlaces(places);
    for (int32_t p = 0; p < placeCount; ++p) {
        platform::RegistryRoot root = places[p].root;
        int view = places[p].view;
        for (const char* vendor : vendors) {
            for (const char* kind : kinds) {
                ByteString path = subkey("SOFTWARE", vendor);
                path = subkey(path.cStr(), kind);
                StringList versions;
                listSubkeys(root, view, path.cStr(), versions);
                for (int32_t v = 0; v < versions.count(); ++v) {
                    ByteString versionKey = subkey(path.cStr(), versions.item(v));
                    StringList vms;
                    listSubkeys(root, view, versionKey.cStr(), vms);
                    for (int32_t m = 0; m < vms.count(); ++m) {
                        ByteString vmKey = subkey(versionKey.cStr(), vms.item(m));
                        for (const char* installer : installers) {
                            ByteString home;
                            if (readValue(root, view, subkey(vmKey.cStr(), installer), "Path",
                                          home))
                                offerHome(search, home, versions.item(v));
                        }
                    }
                }
            }
        }
        for (const char* path : flat) {
            StringList names;
            listSubkeys(root, view, path, names);
            for (int32_t i = 0; i < names.count(); ++i) {
                ByteString home;
                if (readValue(root, view, subkey(path, names.item(i)), "InstallationPath", home))
                    offerHome(search, home, names.item(i));
            }
        }
    }
    return search.takeNewest();
}

ByteString RuntimeLocator::fromPathProgram(RuntimeSearch& search) {
    const char* path = platform::getEnv("PATH");
    if (path == nullptr)
        return ByteString("", 0);
    for (const char* entry = path; *entry != 0;) {
        const char* end = entry;
        while (*end != 0 && *end != platform::classPathSeparator)
            ++end;
        ByteString program(entry, int32_t(end - entry));
        entry = *end != 0 ? end + 1 : end;
        if (program.isEmpty())
            continue;
        if (!program.endsWithSeparator())
            program.append("/");
        program.append(platform::javaProgramName);
        if (!fileExists(program.cStr()))
            continue;
        // Only the first java counts: it is the one the user runs.
        ByteString home;
        if (!platform::realPath(program.cStr(), home))
            home = program;
        trace("  %s is %s", program.cStr(), home.cStr());
        int32_t at = home.findLastOf("\\/");
        home.resize(at > 0 ? at : 0);
        at = home.findLastOf("\\/");
        home.resize(at > 0 ? at : 0);
        if (home.isEmpty())
            return ByteString("", 0);
        ByteString library = probeDirectory(search.config(), home.cStr());
        return search.judge(home.cStr(), library, home.cStr()) ? library : ByteString("", 0);
    }
    return ByteString("", 0);
}

ByteString RuntimeLocator::fromWellKnownFolders(RuntimeSearch& search) {
    StringList parents, suffixes;
    platform::runtimeFolders(parents, suffixes);
    for (int32_t i = 0; i < parents.count(); ++i) {
        ByteString parent(parents.item(i));
        ByteString suffix(suffixes.item(i));
        platform::DirectoryScan scan;
        if (!platform::openDirectory(scan, parent.cStr()))
            continue;
        while (platform::nextEntry(scan)) {
            // Hidden entries are never runtimes (and "." and ".." are among them).
            if (scan.name.isEmpty() || scan.name[0] == '.')
                continue;
            ByteString home(parent);
            home.append(scan.name);
            if (!suffix.isEmpty()) {
                home.append("/");
                home.append(suffix);
            }
            search.offer(home.cStr(), probeDirectory(search.config(), home.cStr()),
                         scan.name.cStr());
        }
        platform::closeDirectory(scan);
    }
    return search.takeNewest();
}

} // namespace tarn
