// --target finds the stub next to the tarnpack binary that runs.
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tptest;

namespace {

class Target : public ::testing::Test {
  protected:
    TempDir dir;
    std::string jarPath = dir / "app.jar";
    std::string outPath = dir / "out";
    Bytes jar = makeJar("Main-Class: a.B\r\n");

    void SetUp() override { writeFile(jarPath, jar); }

    // A copy of the tarnpack under test at relative path inside the temp tree.
    std::string installTool(const std::string& relative) {
        std::string path = dir / relative;
        fs::create_directories(fs::path(path).parent_path());
        fs::copy_file(TARNPACK_EXE, path);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    // A distinct stub (its size tells which one was used) at relative path.
    Bytes placeStub(const std::string& relative, size_t size) {
        std::string path = dir / relative;
        fs::create_directories(fs::path(path).parent_path());
        Bytes stub = makeStub(size, 16);
        writeFile(path, stub);
        return stub;
    }

    Result packWith(const std::string& tool, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--jar", jarPath, "--out", outPath};
        args.insert(args.end(), extra.begin(), extra.end());
        return runProgram(tool, args);
    }

    Bytes expected(const Bytes& stub) {
        return expectedOutput(stub, bytesOf("mainclass a.B\r\n"), jar);
    }
};

TEST_F(Target, BuildTreeSiblings) {
    std::string tool = installTool("build/linux-x64/tarnpack");
    Bytes linuxStub = placeStub("build/linux-x64/tarn", 100);
    Bytes win32 = placeStub("build/win32/tarn.exe", 200);
    Bytes win64 = placeStub("build/win64/tarn.exe", 300);

    Result run = packWith(tool, {"--target", "win32"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(win32));

    run = packWith(tool, {"--target", "win64"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(win64));

    // The windowless launchers sit beside the console ones.
    Bytes win32w = placeStub("build/win32/tarnw.exe", 210);
    Bytes win64w = placeStub("build/win64/tarnw.exe", 310);
    run = packWith(tool, {"--target", "win32-gui"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(win32w));
    run = packWith(tool, {"--target", "win64-gui"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(win64w));

    // No --target and no --launcher: the Linux stub.
    run = packWith(tool, {});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(linuxStub));
}

TEST_F(Target, InstalledLayoutAndPreferenceForBuildTree) {
    std::string tool = installTool("usr/bin/tarnpack");
    Bytes installed = placeStub("usr/lib/tarn/win64/tarn.exe", 120);
    Result run = packWith(tool, {"--target", "win64"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(installed));

    Bytes sibling = placeStub("usr/win64/tarn.exe", 140);
    run = packWith(tool, {"--target", "win64"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(sibling));
}

TEST_F(Target, FollowsSymlinkToTheRealBinary) {
    std::string tool = installTool("opt/tarn/bin/tarnpack");
    Bytes stub = placeStub("opt/tarn/lib/tarn/linux-x64/tarn", 90);
    fs::create_directories(dir / "elsewhere/bin");
    ASSERT_EQ(::symlink(tool.c_str(), (dir / "elsewhere/bin/tarnpack").c_str()), 0);
    Result run = packWith(dir / "elsewhere/bin/tarnpack", {});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(outPath), expected(stub));
}

TEST_F(Target, MissingStubNamesWhereItLooked) {
    std::string tool = installTool("b/linux-x64/tarnpack");
    placeStub("b/win64/tarn", 100); // wrong file name for a Windows target
    Result run = packWith(tool, {"--target", "win64"});
    EXPECT_EQ(run.status, 1);
    std::string root = fs::canonical(dir.path()).string();
    EXPECT_EQ(run.err, "tarnpack: error: no launcher for target win64: looked for '" + root +
                           "/b/win64/tarn.exe' and '" + root +
                           "/b/lib/tarn/win64/tarn.exe' (pass --launcher STUB)\n");
    EXPECT_FALSE(exists(outPath));
}

} // namespace
