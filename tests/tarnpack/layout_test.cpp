// What tarnpack writes: the exact bytes of a wrapped program.
#include "support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tptest;

namespace {

class Layout : public ::testing::Test {
  protected:
    TempDir dir;
    std::string stubPath = dir / "tarn";
    std::string jarPath = dir / "app.jar";
    std::string cfgPath = dir / "app.cfg";
    std::string outPath = dir / "app";
    Bytes stub = makeStub();

    void SetUp() override { writeFile(stubPath, stub); }

    Result pack(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--jar",  jarPath, "--launcher",
                                         stubPath, "--out", outPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return tarnpack(args);
    }
};

TEST_F(Layout, StubBlockLengthReservedAndJarByteForByte) {
    Bytes jar = makeJar("Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n\r\n");
    Bytes config = bytesOf("mainclass com.example.Main\r\njvmoption -Xmx512m\r\n");
    writeFile(jarPath, jar);
    writeFile(cfgPath, config);

    Result run = pack({"--config", cfgPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    Bytes out = readFile(outPath);
    EXPECT_EQ(out, expectedOutput(stub, config, jar));

    // Spot-check the pieces where the launcher will look for them.
    size_t slot = slotOffset(stub);
    EXPECT_EQ(Bytes(out.begin() + slot, out.begin() + slot + 8),
              concat({le32(static_cast<uint32_t>(jar.size())), bytesOf("SLOT")}));
    size_t block = stub.size();
    EXPECT_EQ(out[block + config.size()], 0);
    EXPECT_EQ(
        Bytes(out.begin() + block + config.size() + 1, out.begin() + block + config.size() + 5),
        le32(static_cast<uint32_t>(config.size() + 1)));
    EXPECT_EQ(Bytes(out.end() - static_cast<long>(jar.size()), out.end()), jar);
}

TEST_F(Layout, ReplacedOutputIsExecutableWhateverTheUmask) {
    Bytes jar = makeJar("Main-Class: a.B\n");
    writeFile(jarPath, jar);
    writeFile(outPath, Bytes(100000, 'x'));
    ::chmod(outPath.c_str(), 0600);
    mode_t old = ::umask(077);
    Result run = pack();
    ::umask(old);
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st;
    ASSERT_EQ(::stat(outPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(readFile(outPath), expectedOutput(stub, bytesOf("mainclass a.B\r\n"), jar));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"app", "app.jar", "tarn"}));
}

TEST_F(Layout, ArchiveCommentCountsAsKNotA) {
    Bytes archive = makeZip({{"META-INF/MANIFEST.MF", bytesOf("Main-Class: a.B\r\n"), false}});
    for (size_t comment : {size_t(1), size_t(4096), size_t(51200)}) {
        SCOPED_TRACE(comment);
        Bytes text(comment, 'c');
        Bytes jar =
            makeZip({{"META-INF/MANIFEST.MF", bytesOf("Main-Class: a.B\r\n"), false}}, text);
        writeFile(jarPath, jar);
        Result run = pack();
        ASSERT_EQ(run.status, 0) << run.err;
        Bytes out = readFile(outPath);
        size_t slot = slotOffset(stub);
        // A stops at the end record; the comment follows it untouched.
        EXPECT_EQ(Bytes(out.begin() + slot, out.begin() + slot + 4),
                  le32(static_cast<uint32_t>(archive.size())));
        EXPECT_EQ(out, expectedOutput(stub, bytesOf("mainclass a.B\r\n"), jar));
    }
}

TEST_F(Layout, ByteOrderMarkAndOddBytesKeptVerbatim) {
    Bytes jar = makeJar("Main-Class: a.B\r\n");
    Bytes config = concat({{0xEF, 0xBB, 0xBF}, bytesOf("MainClass a.B\n# caf\xC3\xA9\n\x01\xFF")});
    writeFile(jarPath, jar);
    writeFile(cfgPath, config);
    Result run = pack({"--config", cfgPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expectedOutput(stub, config, jar));
}

TEST_F(Layout, RealJarStillRunsWithJavaAfterWrapping) {
    std::string javac = jdkTool("javac");
    std::string jarTool = jdkTool("jar");
    std::string java = jdkTool("java");
    if (javac.empty() || jarTool.empty() || java.empty()) {
        GTEST_SKIP() << "no JDK 17";
    }
    writeFile(dir / "Hello.java",
              bytesOf("public class Hello { public static void main(String[] a) {"
                      " System.out.println(\"hello from the archive\"); } }\n"));
    ASSERT_EQ(runProgram(javac, {"-d", dir.path(), dir / "Hello.java"}).status, 0);
    ASSERT_EQ(runProgram(jarTool, {"--create", "--file", jarPath, "--main-class", "Hello", "-C",
                                   dir.path(), "Hello.class"})
                  .status,
              0);

    Result run = pack();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath),
              expectedOutput(stub, bytesOf("mainclass Hello\r\n"), readFile(jarPath)));
    // The JVM reads archives with a prefix, so the wrapped file is its own class path.
    Result hello = runProgram(java, {"-cp", outPath, "Hello"});
    EXPECT_EQ(hello.status, 0) << hello.err;
    EXPECT_EQ(hello.out, "hello from the archive\n");
}

} // namespace
