// Sends standard output and standard error to a file (appended) or into the
// standard input of a command ("|command"), once per stream, before the VM
// exists, so that both the launcher and Java write to the target.
#pragma once

#include "base/string.h"
#include "platform/platform.h"

namespace tarn {

class RedirectTarget {
  public:
    explicit RedirectTarget(const char* name);
    ~RedirectTarget();
    const ByteString& name() const { return name_; }
    bool isOpen() const { return target_.handle != -1; }
    const platform::StreamTarget& target() const { return target_; }

  private:
    platform::StreamTarget target_;
    ByteString name_;
};

class StreamRedirector {
  public:
    StreamRedirector() {}
    ~StreamRedirector();
    StreamRedirector(const StreamRedirector&) = delete;
    StreamRedirector& operator=(const StreamRedirector&) = delete;

    void redirectStdout(const char* value);
    void redirectStderr(const char* value);
    // Puts the standard streams back and closes every target (waiting for commands).
    void restore();

  private:
    RedirectTarget* findOrOpenTarget(const char* name);
    void redirect(platform::StdStream which, const char* value, intptr_t& saved, bool& done);

    Array<RedirectTarget*> targets_;
    intptr_t savedStdout_ = -1;
    intptr_t savedStderr_ = -1;
    bool stdoutRedirected_ = false;
    bool stderrRedirected_ = false;
};

// The process-wide redirector; it restores the streams at normal exit.
extern StreamRedirector streamRedirector;

} // namespace tarn
