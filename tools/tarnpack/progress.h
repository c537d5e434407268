// One updating status line on stderr for long steps, only on a terminal, so
// scripts and logs stay quiet.
#pragma once

#include <string>

namespace tarnpack {

class Progress {
  public:
    Progress();
    ~Progress();
    void show(const std::string& text);
    void done();

  private:
    bool terminal_;
    size_t width_ = 0;
};

} // namespace tarnpack
