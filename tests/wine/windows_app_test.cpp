// What a shipped Windows program needs beyond running: the windowless launcher,
// the icon, version information and manifest tarnpack writes, and an Authenticode
// signature applied after wrapping. Read back with objdump, wrestool,
// osslsigncode, a real JVM and the Windows API under Wine.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

// A two-image .ico (16x16 and 32x32, 32-bit, one solid colour).
std::string makeIcon(uint32_t argb) {
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += char(v >> (8 * i));
        return s;
    };
    std::string directory = le(0, 2) + le(1, 2) + le(2, 2), images;
    for (int side : {16, 32}) {
        std::string image = le(40, 4) + le(side, 4) + le(2 * side, 4) + le(1, 2) + le(32, 2) +
                            std::string(24, '\0');
        for (int i = 0; i < side * side; ++i)
            image += le(argb, 4);
        image += std::string(size_t(side) * 4, '\0'); // AND mask: rows of 4 bytes
        directory += std::string{char(side), char(side), 0, 0} + le(1, 2) + le(32, 2) +
                     le(uint32_t(image.size()), 4) + le(uint32_t(6 + 32 + images.size()), 4);
        images += image;
    }
    return directory + images;
}

ProcessResult tarnpack(const std::vector<std::string>& args) {
    std::string command = quoteArgument(TARNPACK);
    for (const std::string& arg : args)
        command += " " + quoteArgument(arg);
    return runCommand(command + " 2>&1");
}

fs::path pack(const fs::path& dir, const std::string& name, const std::string& target,
              const std::string& config, std::vector<std::string> extra,
              const std::string& archive = emptyZip()) {
    writeFile(dir / "in/app.jar", archive);
    writeFile(dir / "in/config", config);
    fs::path exe = dir / (name + ".exe");
    std::vector<std::string> args = {"--target", target,
                                     "--jar",    (dir / "in/app.jar").string(),
                                     "--config", (dir / "in/config").string(),
                                     "--out",    exe.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    ProcessResult made = tarnpack(args);
    EXPECT_EQ(made.status, 0) << made.out;
    return exe;
}

// A throw-away code-signing certificate and key in dir.
void makeCertificate(const fs::path& dir) {
    ProcessResult made = runCommand(
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=tarn test signer/O=Example "
        "Ltd' -keyout " +
        quoteArgument((dir / "key.pem").string()) + " -out " +
        quoteArgument((dir / "cert.pem").string()) + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
}

fs::path sign(const fs::path& dir, const fs::path& exe) {
    fs::path signedExe = dir / ("signed-" + exe.filename().string());
    ProcessResult run = runCommand(
        "osslsigncode sign -certs " + quoteArgument((dir / "cert.pem").string()) + " -key " +
        quoteArgument((dir / "key.pem").string()) + " -n Demo -in " + quoteArgument(exe.string()) +
        " -out " + quoteArgument(signedExe.string()) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    return signedExe;
}

ProcessResult verify(const fs::path& dir, const fs::path& exe) {
    return runCommand("osslsigncode verify -CAfile " + quoteArgument((dir / "cert.pem").string()) +
                      " -in " + quoteArgument(exe.string()) + " 2>&1");
}

std::string runsMain(const Target& target, const fs::path& log) {
    return lines({"mainclass app/Main", "jre_order c", "jvmdll " + windowsPath(target.runtime()),
                  "stdout " + windowsPath(log), "stderr " + windowsPath(log)});
}

using Win64 = Win64Test;
using Win32 = Win32Test;

TEST_F(Win64, WindowlessLauncherRunsWithoutConsoleAndShowsFailuresInAMessageBox) {
    fs::create_directories(dir / "logs");
    fs::path log = dir / "logs/app.log";
    fs::path app = pack(dir.path(), "app", "win64-gui", runsMain(target, log), {});
    fs::path broken = pack(dir.path(), "broken", "win64-gui",
                           lines({"mainclass app/Main", "jre_order c", "jvmdll Z:\\none\\jvm.dll",
                                  "stderr " + windowsPath(dir / "logs/broken.log")}),
                           {});
    // Started the way Explorer starts a windowless program: no standard handles.
    Outcome detached = run(target.probe(), {"detached", windowsPath(app)});
    EXPECT_EQ(detached.out, "exit=0\n");
    Records records = tarn::test::records(readFile(log));
    EXPECT_EQ(records.main, "app/Main argc=0");
    EXPECT_TRUE(records.has("destroy"));
    // Java's output, with nowhere to go, is dropped without harm.
    fs::path quiet =
        pack(dir.path(), "quiet", "win64-gui",
             lines({"mainclass app/Main", "jvmdll " + windowsPath(target.runtime())}), {});
    EXPECT_EQ(run(target.probe(), {"detached", windowsPath(quiet)}).out, "exit=0\n");
    Outcome failed = run(target.probe(), {"detached", windowsPath(broken)});
    EXPECT_EQ(failed.out, "exit=1\n");
    EXPECT_EQ(readFile(dir / "logs/broken.log"), message::notFound + "\r\n");

    // The message box, seen through Wine's relay channel, titled with the program's name.
    Outcome shown = run(broken, {}, {{"WINEDEBUG", "+relay"}});
    EXPECT_EQ(shown.status, 1);
    EXPECT_TRUE(contains(shown.err, "user32.MessageBoxW(00000000,") &&
                contains(shown.err, "L\"" + message::notFound + "\",") &&
                contains(shown.err, " L\"broken\",00010010)"))
        << lastLine(shown.err);
    EXPECT_EQ(readFile(dir / "logs/broken.log"),
              message::notFound + "\r\n" + message::notFound + "\r\n");
}

TEST_F(Win64, ResourcesReadBackByObjdumpWrestoolAndWindows) {
    writeFile(dir / "app.ico", makeIcon(0xFF12AB34));
    std::string config = lines({"mainclass app/Main", "jvmdll " + windowsPath(target.runtime())});
    fs::path exe = pack(dir.path(), "demo", "win64", config,
                        {"--icon", (dir / "app.ico").string(), "--app-version", "2.5.1", "--name",
                         "Demo App", "--vendor", "Example Ltd", "--description",
                         "Demo for \xC3\xA9quipes", "--copyright", "(c) 2026 Example", "--admin"});

    ProcessResult list = runCommand("wrestool -l " + quoteArgument(exe.string()));
    for (const char* resource : {"--type=3 --name=1 ", "--type=3 --name=2 ", "--type=14 --name=1 ",
                                 "--type=16 --name=1 ", "--type=24 --name=1 "})
        EXPECT_TRUE(contains(list.out, resource)) << resource << "\n" << list.out;
    EXPECT_FALSE(contains(list.out, "--type=3 --name=3 ")) << list.out;
    // wrestool rebuilds the .ico from the group and its images (and writes as many
    // stray bytes after it as the group has, for windres' stubs too).
    std::string ico = readFile(dir / "app.ico");
    ProcessResult icon = runCommand("wrestool -x --type=14 " + quoteArgument(exe.string()));
    EXPECT_TRUE(icon.out.compare(0, ico.size(), ico) == 0) << "icon differs";
    ProcessResult manifest =
        runCommand("wrestool -x --raw --type=24 " + quoteArgument(exe.string()));
    EXPECT_TRUE(contains(manifest.out, "level=\"requireAdministrator\"")) << manifest.out;
    EXPECT_TRUE(contains(manifest.out, "<longPathAware"));

    // The rebuilt resource section stays last, and relocations follow it unchanged.
    ProcessResult headers =
        runCommand("x86_64-w64-mingw32-objdump -p -h " + quoteArgument(exe.string()) + " 2>&1");
    EXPECT_EQ(headers.status, 0);
    EXPECT_FALSE(contains(headers.out, "warning")) << headers.out;
    EXPECT_TRUE(contains(headers.out, "Entry 2 ") && contains(headers.out, "Resource Directory"));

    Outcome windows = run(target.probe(), {"resources", windowsPath(exe)});
    std::vector<std::string> expected = {"checksum=right",
                                         "fixed=2.5.1.0",
                                         "CompanyName=Example Ltd",
                                         "FileDescription=Demo for \xC3\xA9quipes",
                                         "FileVersion=2.5.1",
                                         "InternalName=demo",
                                         "LegalCopyright=(c) 2026 Example",
                                         "OriginalFilename=demo.exe",
                                         "ProductName=Demo App",
                                         "ProductVersion=2.5.1",
                                         "icon=32x32 pixel=ff12ab34",
                                         "icon16=16x16 pixel=ff12ab34",
                                         ""};
    EXPECT_EQ(windows.out, [&] {
        std::string text;
        for (size_t i = 0; i + 1 < expected.size(); ++i)
            text += expected[i] + "\n";
        return text;
    }()) << windows.err;

    Outcome started = run(exe);
    EXPECT_EQ(started.status, 0) << started.err;
    EXPECT_EQ(records(started.out).main, "app/Main argc=0");

    ProcessResult inspect = tarnpack({"--inspect", exe.string()});
    EXPECT_TRUE(contains(inspect.out, "icon:            16x16 32-bit, 32x32 32-bit\n"))
        << inspect.out;
    EXPECT_TRUE(contains(inspect.out, "version:         ProductName: Demo App\n"));
    EXPECT_TRUE(contains(inspect.out, "execution level requireAdministrator, DPI awareness "
                                      "PerMonitorV2, long paths true\n"));
    EXPECT_TRUE(contains(inspect.out, "signature:       none\n"));
}

TEST_F(Win64, SignedProgramVerifiesRunsAndKeepsItsJarReadable) {
    makeCertificate(dir.path());
    // A real JAR, so the JVM can show it still reads the archive inside.
    writeFile(dir / "src/app/Main.java",
              "package app; public class Main { public static void main(String[] a) { "
              "System.out.println(\"hello from inside\"); } }");
    std::string jdk = TARN_JDK_HOME;
    ProcessResult jar =
        runCommand(jdk + "/bin/javac -d " + quoteArgument((dir / "classes").string()) + " " +
                   quoteArgument((dir / "src/app/Main.java").string()) + " && " + jdk +
                   "/bin/jar cf " + quoteArgument((dir / "app.jar").string()) + " -C " +
                   quoteArgument((dir / "classes").string()) + " . 2>&1");
    ASSERT_EQ(jar.status, 0) << jar.out;
    fs::path exe = pack(dir.path(), "app", "win64",
                        lines({"mainclass app/Main", "jvmdll " + windowsPath(target.runtime())}),
                        {}, readFile(dir / "app.jar"));
    // The checksum covers the trailer too, before signing and after.
    Outcome windows = run(target.probe(), {"resources", windowsPath(exe)});
    EXPECT_EQ(windows.out.rfind("checksum=right\n", 0), 0u) << windows.out;
    fs::path signedExe = sign(dir.path(), exe);

    ProcessResult verified = verify(dir.path(), signedExe);
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_TRUE(contains(verified.out, "Signature verification: ok")) << verified.out;

    Outcome started = run(signedExe, {"x"});
    EXPECT_EQ(started.status, 0) << started.err;
    EXPECT_EQ(records(started.out).main, "app/Main argc=1");
    ProcessResult java =
        runCommand(jdk + "/bin/java -cp " + quoteArgument(signedExe.string()) + " app.Main 2>&1");
    EXPECT_EQ(java.out, "hello from inside\n");

    ProcessResult inspect = tarnpack({"--inspect", signedExe.string()});
    EXPECT_TRUE(contains(inspect.out, "signature:       signed by CN=tarn test signer, "
                                      "O=Example Ltd; certificate table at offset "))
        << inspect.out;
    EXPECT_TRUE(contains(inspect.out, "slot:            matches")) << inspect.out;
    EXPECT_TRUE(contains(inspect.out, "  mainclass app/Main\n")) << inspect.out;

    // A signed launcher cannot be wrapped: its table would sit inside the program.
    fs::path signedStub = sign(dir.path(), target.stub());
    ProcessResult refused = tarnpack({"--jar", (dir / "app.jar").string(), "--launcher",
                                      signedStub.string(), "--out", (dir / "x.exe").string()});
    EXPECT_TRUE(refused.status == 1 && contains(refused.out, "is signed: wrap the unsigned "
                                                             "launcher, then sign the program"))
        << refused.out;

    // One changed byte of the configuration breaks the signature.
    std::string bytes = readFile(signedExe);
    size_t at = bytes.find("mainclass app/Main");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 10] = 'b';
    writeFile(dir / "tampered.exe", bytes);
    EXPECT_NE(verify(dir.path(), dir / "tampered.exe").status, 0);
}

// 32-bit: the GUI entry, a PE32 resource section and security directory, in one start.
TEST_F(Win32, WindowlessSignedProgramWithResources) {
    makeCertificate(dir.path());
    writeFile(dir / "app.ico", makeIcon(0xFF3366CC));
    fs::create_directories(dir / "logs");
    fs::path log = dir / "logs/app.log";
    fs::path exe = pack(
        dir.path(), "app32", "win32-gui", runsMain(target, log),
        {"--icon", (dir / "app.ico").string(), "--app-version", "3.1", "--vendor", "Example Ltd"});
    fs::path signedExe = sign(dir.path(), exe);
    EXPECT_EQ(verify(dir.path(), signedExe).status, 0);
    ProcessResult headers =
        runCommand("i686-w64-mingw32-objdump -p " + quoteArgument(signedExe.string()));
    EXPECT_TRUE(contains(headers.out, "(Windows GUI)"));
    std::string ico = readFile(dir / "app.ico");
    ProcessResult icon = runCommand("wrestool -x --type=14 " + quoteArgument(signedExe.string()));
    EXPECT_TRUE(icon.out.compare(0, ico.size(), ico) == 0) << "icon differs";

    Outcome started = run(signedExe, {"a"});
    EXPECT_EQ(started.status, 0);
    EXPECT_EQ(records(readFile(log)).main, "app/Main argc=1");
    if (!win64Target().unavailable().empty())
        return;
    Outcome windows = run(win64Target().probe(), {"resources", windowsPath(signedExe)});
    EXPECT_TRUE(contains(windows.out, "fixed=3.1.0.0\nCompanyName=Example Ltd\n")) << windows.out;
    EXPECT_TRUE(contains(windows.out, "icon=32x32 pixel=ff3366cc\n")) << windows.out;
}

} // namespace
} // namespace tarn::test
