#include "stdio/redirector.h"

namespace tarn {

StreamRedirector streamRedirector;

RedirectTarget::RedirectTarget(const char* name) : name_(name) {
    if (name[0] == '|')
        platform::openPipeTarget(name + 1, target_);
    else
        platform::openAppendTarget(name, target_);
}

RedirectTarget::~RedirectTarget() {
    platform::closeTarget(target_);
}

RedirectTarget* StreamRedirector::findOrOpenTarget(const char* name) {
    for (int32_t i = 0; i < targets_.length(); ++i)
        if (targets_[i]->name().compare(name) == 0)
            return targets_[i];
    // A target that failed to open stays listed, so the same value is not retried.
    RedirectTarget* target = new RedirectTarget(name);
    targets_.appendOne(target);
    return target;
}

void StreamRedirector::redirect(platform::StdStream which, const char* value, intptr_t& saved,
                                bool& done) {
    RedirectTarget* target = findOrOpenTarget(value);
    if (!target->isOpen() || done)
        return;
    saved = platform::redirectStdStream(which, target->target());
    done = true;
}

void StreamRedirector::redirectStdout(const char* value) {
    redirect(platform::StdStream::output, value, savedStdout_, stdoutRedirected_);
}

void StreamRedirector::redirectStderr(const char* value) {
    redirect(platform::StdStream::error, value, savedStderr_, stderrRedirected_);
}

// The standard streams go back first: while they still hold the write end of a
// command's pipe, the command never sees the end of its input.
void StreamRedirector::restore() {
    if (stdoutRedirected_)
        platform::restoreStdStream(platform::StdStream::output, savedStdout_);
    if (stderrRedirected_)
        platform::restoreStdStream(platform::StdStream::error, savedStderr_);
    stdoutRedirected_ = stderrRedirected_ = false;
    // Newest first: a command started later may hold an earlier command's pipe
    // as its own standard stream, and only its end lets the earlier one finish.
    for (int32_t i = targets_.length() - 1; i >= 0; --i)
        delete targets_[i];
    targets_.reset();
}

StreamRedirector::~StreamRedirector() {
    restore();
}

} // namespace tarn
