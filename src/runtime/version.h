// Java version texts ("1.8.0_402", "17.0.15", "25") read and compared field by field.
#pragma once

namespace tarn {

// A version text read as "%d.%d.%d_%d": the number of fields read (0 to 4), or
// -1 for an empty text.
int parseVersion(const char* text, int fields[4]);
// -1 when version is below bound in the first min(counts) fields, 1 above, else 0.
int compareVersions(const int version[4], int versionCount, const int bound[4], int boundCount);
// The feature release a version names: 8 for "1.8.0_402", 17 for "17.0.15";
// 0 when the text holds no number.
int featureRelease(const char* version);

} // namespace tarn
