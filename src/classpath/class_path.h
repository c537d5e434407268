// The value of java.class.path: the executable itself, then classpath entries,
// archives under libs directories, then CLASSPATH and CLASS_PATH.
#pragma once

#include "base/string.h"

namespace tarn {

class LaunchConfig;

class ClassPathBuilder {
  public:
    static ByteString build(LaunchConfig& config);
    // Appends separator + path for every .jar/.zip below directory, depth first.
    static void scanArchives(const char* directory, ByteString& out);
};

} // namespace tarn
