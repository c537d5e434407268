// The Windows stubs run on a bare Windows: console and windowless programs that
// import only system libraries, never MinGW's C++, GCC or thread runtimes.
#include "wine/wine_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace tarn::test {
namespace {

struct Headers {
    std::string format; // objdump's file format
    std::string subsystem;
    std::set<std::string> imports; // upper case
};

Headers readHeaders(const Target& target, const fs::path& stub) {
    std::string objdump =
        target.bits == 32 ? "i686-w64-mingw32-objdump" : "x86_64-w64-mingw32-objdump";
    ProcessResult dump = runCommand(objdump + " -p " + quoteArgument(stub.string()));
    EXPECT_EQ(dump.status, 0) << dump.out;
    Headers headers;
    size_t start = 0;
    while (start < dump.out.size()) {
        size_t end = dump.out.find('\n', start);
        if (end == std::string::npos)
            end = dump.out.size();
        std::string line = dump.out.substr(start, end - start);
        start = end + 1;
        if (size_t at = line.find("file format "); at != std::string::npos)
            headers.format = line.substr(at + 12);
        if (line.rfind("Subsystem", 0) == 0)
            headers.subsystem = line;
        if (size_t at = line.find("DLL Name: "); at != std::string::npos) {
            std::string name = line.substr(at + 10);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return char(std::toupper(c)); });
            headers.imports.insert(name);
        }
    }
    return headers;
}

void expectSystemImportsOnly(const Target& target, const std::string& format) {
    for (bool windowless : {false, true}) {
        fs::path stub = windowless ? target.windowless() : target.stub();
        SCOPED_TRACE(stub);
        if (!fs::exists(stub))
            GTEST_SKIP() << stub << " is not built (cmake --build --preset " << target.name << ")";
        Headers headers = readHeaders(target, stub);
        EXPECT_EQ(headers.format, format);
        EXPECT_TRUE(contains(headers.subsystem, windowless ? "(Windows GUI)" : "(Windows CUI)"))
            << headers.subsystem;
        // Only the windowless launcher shows message boxes.
        std::set<std::string> system = {"KERNEL32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"};
        if (windowless)
            system.insert("USER32.DLL");
        EXPECT_TRUE(headers.imports.count("KERNEL32.DLL"));
        for (const std::string& name : headers.imports) {
            EXPECT_TRUE(system.count(name)) << name << " is not a system library";
            for (const char* runtime : {"LIBSTDC++", "LIBGCC", "LIBWINPTHREAD"})
                EXPECT_EQ(name.find(runtime), std::string::npos) << name;
        }
    }
}

TEST(Footprint, Win32StubsImportOnlySystemLibraries) {
    expectSystemImportsOnly(win32Target(), "pei-i386");
}

TEST(Footprint, Win64StubsImportOnlySystemLibraries) {
    expectSystemImportsOnly(win64Target(), "pei-x86-64");
}

} // namespace
} // namespace tarn::test
