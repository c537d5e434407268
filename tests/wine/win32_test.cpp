// The 32-bit stub: what differs from 64-bit (the i686 JNI calling convention,
// the 32-bit registry view, the loader's PATH retry, the string table and the
// system's messages read by a 32-bit process). Each start costs about a minute
// of emulated CPU here, so starts run two at a time and stay few.
#include "wine/scenarios.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

using Win32 = Win32Test;

TEST_F(Win32, FullLaunchRegistryViewsAndAnEmbeddedRuntimeOfA32BitProcess) {
    runAll({fullLaunch(target, dir.path()), registryViewOfTheProcess(target, dir.path()),
            registryViewsAndBitness(target, dir.path()),
            embeddedRuntime(target, dir.path() / "embedded")},
           2);
}

TEST_F(Win32, PathRetryAndTheSystemMessageForANonLibrary) {
    runAll({pathRetry(target, dir.path()), notALibrary(target, dir.path())}, 2);
}

TEST_F(Win32, VersionGateAndAnExceptionLeavingMain) {
    runAll({versionTooHigh(target, dir.path()), mainThrows(target, dir.path())}, 2);
}

TEST_F(Win32, RuntimesThatLoadButCannotRun) {
    runAll({libraryWithoutEntry(target, dir.path()), vmCreationFails(target, dir.path())}, 2);
}

TEST_F(Win32, MissingMainClassAndTheIbmKey) {
    runAll({mainClassMissing(target, dir.path()), registryJavaHome(target, dir.path())}, 2);
}

TEST_F(Win32, RedirectedStreamsAndA64BitRuntime) {
    runAll({sharedLogFile(target, dir.path()), runtimeOfTheOtherBitness(target, dir.path())}, 2);
}

TEST_F(Win32, NamesAndArgumentsOfAnyScript) {
    runAll(foreignNames(target, dir.path()), 2);
}

TEST_F(Win32, InterruptWhileMainRunsEndsWithStatusZero) {
    if (target.emulated())
        GTEST_SKIP() << "32-bit Wine runs through qemu-i386 here, and there a console interrupt "
                        "breaks Wine itself: a bare 32-bit program whose SIGINT handler calls "
                        "ExitProcess dies with 'stack smashing detected' (the 64-bit test runs)";
    interruptWhileMainRuns(target, dir.path());
}

} // namespace
} // namespace tarn::test
