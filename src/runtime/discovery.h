// One runtime search: every candidate a source finds is judged here, the same
// way for every source. A candidate is passed over when its library is built
// for another machine than the launcher, or when its version (read from the
// runtime's release file, else from its folder or registry key name) is known
// and outside minjre/maxjre. An unknown version is accepted: the check after
// the VM has started stays the final guard. The same library reached twice
// (links, both registry views) is judged once.
#pragma once

#include "base/string.h"
#include "base/string_list.h"

namespace tarn {

class LaunchConfig;

// The version a folder or key name carries ("jdk-21.0.2+13" gives "21.0.2",
// "java-17-openjdk-amd64" gives "17"); "" when it holds no digit.
ByteString versionFromName(const char* name);

class RuntimeSearch {
  public:
    explicit RuntimeSearch(LaunchConfig& config);
    LaunchConfig& config() { return config_; }

    // A source with one candidate: true when library, found below `where`, may
    // be loaded. An empty library means there was none to find.
    bool judge(const char* where, const ByteString& library, const char* name);
    // A source with several candidates offers each; the newest accepted version
    // is kept, the first found on a tie, an unknown version ranking last.
    void offer(const char* where, const ByteString& library, const char* name);
    // The kept library, or "" when no candidate was accepted; forgets it.
    ByteString takeNewest();

    // "  passed over <where>: <reason>", at most ten lines.
    const StringList& passedOver() const { return passedOver_; }

  private:
    bool accepts(const char* where, const ByteString& library, const char* name,
                 ByteString& version);
    void passOver(const char* where, const char* reason);

    LaunchConfig& config_;
    ByteString minJre_, maxJre_;
    int min_[4], max_[4];
    int minCount_, maxCount_;
    StringList seen_; // real paths of the libraries judged so far
    StringList passedOver_;
    ByteString newest_;
    int newestVersion_[4];
    int newestCount_ = -1;
};

} // namespace tarn
