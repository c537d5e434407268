#include "core/startup.h"

#include "platform/platform.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

std::string fullPath(const char* base, const char* path) {
    char buffer[4096];
    int32_t n = makeFullPath(ByteString(base), path, buffer, sizeof buffer);
    return n > 0 && n < int32_t(sizeof buffer) ? std::string(buffer, size_t(n)) : "<failed>";
}

TEST(Startup, ForcedDirectoryFormsOnWindows) {
    if (!test::onWindows)
        GTEST_SKIP() << "drive letters";
    EXPECT_EQ(fullPath("C:\\Apps\\", "..\\data"), "C:\\data");
    EXPECT_EQ(fullPath("C:\\Apps\\", "\\data"), "C:\\data");
    EXPECT_EQ(fullPath("C:\\Apps\\", "D:\\work"), "D:\\work");
    EXPECT_EQ(fullPath("C:\\Apps", "sub"), "C:\\Apps\\sub");
}

TEST(Startup, ForcedDirectoryFormsOnLinux) {
    if (test::onWindows)
        GTEST_SKIP() << "POSIX paths";
    EXPECT_EQ(fullPath("/opt/app/", "../data"), "/opt/data");
    EXPECT_EQ(fullPath("/opt/app/", "/tmp"), "/tmp");
    EXPECT_EQ(fullPath("/opt/app", "sub/./x/"), "/opt/app/sub/x");
    EXPECT_EQ(fullPath("/opt/app/", "../../../.."), "/");
}

TEST(Startup, BufferTooSmallIsReported) {
    char buffer[8];
    int32_t n = makeFullPath(ByteString(test::onWindows ? "C:\\Apps\\" : "/opt/app/"),
                             "a-rather-long-directory-name", buffer, sizeof buffer);
    EXPECT_GE(n, int32_t(sizeof buffer));
}

} // namespace
} // namespace tarn
