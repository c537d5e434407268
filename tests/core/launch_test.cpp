#include "core/launch.h"
#include "core/startup.h"
#include "runtime/version.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// -1 too low, 1 too high, 0 allowed; bounds as the launcher's gate reads them.
int gate(const char* version, const char* minJre, const char* maxJre) {
    int v[4], lo[4], hi[4];
    int cv = parseVersion(version, v);
    if (compareVersions(v, cv, lo, parseVersion(minJre, lo)) < 0)
        return -1;
    if (compareVersions(v, cv, hi, parseVersion(maxJre, hi)) > 0)
        return 1;
    return 0;
}

TEST(Launch, VersionTextsReadAsFourFields) {
    int f[4];
    EXPECT_EQ(parseVersion("", f), -1);
    EXPECT_EQ(parseVersion("x1.6", f), 0);
    EXPECT_EQ(parseVersion("1.6", f), 2);
    EXPECT_EQ(parseVersion("1.6.0_45", f), 4);
    EXPECT_EQ(f[3], 45);
    EXPECT_EQ(parseVersion("9.0.4", f), 3);
    EXPECT_EQ(parseVersion("17.0.15+6", f), 3);
    EXPECT_EQ(parseVersion("25-ea", f), 1);
    EXPECT_EQ(parseVersion("99999999999999999999.1", f), 2); // saturates, never overflows
}

TEST(Launch, VersionGate) {
    EXPECT_EQ(gate("1.6.0_45", "1.6", ""), 0);
    EXPECT_EQ(gate("1.6.0_07", "1.6.0_20", ""), -1);
    EXPECT_EQ(gate("1.7.0_02", "", "1.6"), 1);
    EXPECT_EQ(gate("9.0.4", "1.5", ""), 0);
    EXPECT_EQ(gate("9.0.4", "1.5", "1.8"), 1);
    EXPECT_EQ(gate("17.0.2", "abc", "x"), 0);       // a bound without a number gates nothing
    EXPECT_EQ(gate("17.0.2", "", "3000000000"), 0); // saturates: never a negative bound
    EXPECT_EQ(gate("", "1.8", "1.9"), 0);           // nothing to compare
    EXPECT_EQ(gate("1.8.0_292", "1.8", "1.8"), 0);
    EXPECT_EQ(gate("11.0.2", "17", "21"), -1);
}

TEST(Startup, InstanceNamesFollowThePath) {
    EXPECT_STREQ(instanceName(ByteString("C:\\Apps\\tool.exe"), 259).cStr(),
                 "C..Apps.tool.exe.tarn");
    EXPECT_STREQ(instanceName(ByteString("/opt/app/tool"), 18).cStr(), "/opt/app/tool.tarn");
    // Too long: a bounded name, the same for the same path, another for another.
    std::string dir = "C:\\" + std::string(250, 'd') + "\\";
    std::string a = instanceName(ByteString((dir + "a.exe").c_str()), 259).cStr();
    std::string b = instanceName(ByteString((dir + "b.exe").c_str()), 259).cStr();
    EXPECT_EQ(a.size(), 259u);
    EXPECT_EQ(a, instanceName(ByteString((dir + "a.exe").c_str()), 259).cStr());
    EXPECT_NE(a.substr(0, 16), b.substr(0, 16));
    EXPECT_EQ(a.substr(a.size() - 10), "a.exe.tarn");
}

} // namespace
} // namespace tarn
