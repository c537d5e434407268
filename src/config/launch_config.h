// The configuration store: every configuration source of the run as one UTF-8
// text (external file first, then the block embedded in the executable), with
// no parsed table. Each lookup scans the text from the start, so line order is
// precedence: the first matching line wins for single-valued keys.
#pragma once

#include "base/string.h"
#include "base/string_list.h"

namespace tarn {

// Called with every matching value; the value lives only during the call.
using ValueCallback = void (*)(void* context, const char* value);

class LaunchConfig : public ByteString {
  public:
    explicit LaunchConfig(bool load);
    ~LaunchConfig() override {}

    // ---- Lookup (store.cpp) ----
    ByteString findValue(const char* key, ValueCallback callback, void* context, bool embeddedOnly,
                         bool toAnsi) const;
    ByteString lookup(const char* key, bool embeddedOnly, bool toAnsi) const {
        return findValue(key, nullptr, nullptr, embeddedOnly, toAnsi);
    }
    // Every value of key, expanded, one item each (ANSI when toAnsi, else UTF-8).
    void collectValues(const char* key, StringList& list, bool embeddedOnly, bool toAnsi) const;

    ByteString singleInstance() const { return lookup("singleinstance", false, true); }
    ByteString mainClass() const { return lookup("mainclass", true, true); }
    ByteString minJre() const { return lookup("minjre", false, true); }
    ByteString maxJre() const { return lookup("maxjre", false, true); }
    ByteString stdoutTarget() const;
    ByteString stderrTarget() const;
    ByteString forceCwd() const;

    ByteString exePath() const { return exePath_; }
    ByteString appHome() const { return appHome_; }
    const ByteString& workDir() const { return workDir_; }
    int32_t externalLength() const { return externalLength_; }
    int32_t trailerEnd() const { return trailerEnd_; }

    // ---- Sources (trailer.cpp) ----
    void load();
    // load() for a given executable and archive size (the slot's value); tests
    // use it to read trailers of files other than the running one.
    void loadFrom(const ByteString& exePath, uint32_t archiveSize);
    void captureWorkDir();
    // Records the executable's path and, from it, the application home.
    void setExePath(const ByteString& path);

    // ---- Expansion (expand.cpp) ----
    // Zero-terminated text of a special variable, or null when name is none.
    const char* specialVariable(const char* name) const;

    // ---- Paths (runtime/paths.cpp) ----
    ByteString resolvePath(const ByteString& path) const;
    ByteString vmFlavour();

  private:
    void locateTrailer(const unsigned char* file, int64_t size, uint32_t archiveSize);
    void readExternal();
    void readEmbedded(const unsigned char* file, int64_t size);

    int32_t externalLength_ = 0;
    ByteString exePath_;
    ByteString appHome_;
    ByteString workDir_;
    ByteString vmCache_;
    int32_t trailerEnd_ = 0;
};

// Appends one source to the store, decoded by its byte-order mark into UTF-8.
void appendDecodedText(ByteString& store, const char* bytes, int32_t n);

// The bytes after the ZIP end-of-central-directory record near the end of the
// file (empty when there is none).
ByteString findArchiveComment(const unsigned char* file, int64_t size);

// The run's configuration and VM host, published by the entry.
extern LaunchConfig* currentConfig;

} // namespace tarn
