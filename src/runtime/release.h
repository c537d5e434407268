// A runtime's version without starting it: JAVA_VERSION from the `release`
// file that every JDK and JRE image since Java 6 carries at its home.
#pragma once

#include "base/string.h"

namespace tarn {

// Version text of the runtime whose home is `home` ("17.0.15", "1.8.0_402"),
// read from home/release. False when there is no such file or line.
bool readReleaseVersion(const char* home, ByteString& version);

// The same for the runtime that a VM library belongs to: the release file is
// looked for in the directories above the library (bin/server/jvm.dll,
// lib/server/libjvm.so, and a JDK 8 jre/ one level further down).
bool readLibraryVersion(const char* libraryPath, ByteString& version);

// The JAVA_VERSION value of a release file's text, quotes removed.
bool parseReleaseText(const char* text, int32_t length, ByteString& version);

} // namespace tarn
