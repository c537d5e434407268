// Mistakes in a launcher configuration that the launcher itself would pass over
// in silence: a key it does not know but that is close to one it knows, and the
// "key: value" / "key = value" forms of other formats.
#pragma once

#include "io.h"

#include <string>
#include <vector>

namespace tarnpack {

// Every key the launcher reads.
extern const char* const kKnownKeys[];

// One text per suspicious line, "line N: ...". Lines that are plainly comments
// (not starting with a word) and words not close to any key stay silent.
std::vector<std::string> checkConfig(const Bytes& config);

} // namespace tarnpack
