#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace tarnpack {

Progress::Progress() : terminal_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    done();
}

void Progress::show(const std::string& text) {
    if (!terminal_) {
        return;
    }
    std::string line = "\rtarnpack: " + text;
    // Blanks over the rest of a longer previous line.
    size_t shown = line.size();
    if (shown < width_) {
        line.append(width_ - shown, ' ');
    }
    width_ = shown;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void Progress::done() {
    if (terminal_ && width_ > 0) {
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
        std::fflush(stderr);
        width_ = 0;
    }
}

} // namespace tarnpack
