// Windows threads and locks.
#include "platform/platform.h"

#include <windows.h>

#include <process.h>

namespace tarn {
namespace platform {

static_assert(sizeof(SRWLOCK) <= sizeof(Lock::storage), "an SRW lock fits in a Lock");

// SRWLOCK_INIT is all zero bytes, as a Lock starts.
static SRWLOCK* srwOf(Lock& lock) {
    return reinterpret_cast<SRWLOCK*>(lock.storage);
}

void acquireLock(Lock& lock) {
    AcquireSRWLockExclusive(srwOf(lock));
}

bool tryAcquireLock(Lock& lock) {
    return TryAcquireSRWLockExclusive(srwOf(lock)) != 0;
}

void releaseLock(Lock& lock) {
    ReleaseSRWLockExclusive(srwOf(lock));
}

namespace {

struct ThreadStart {
    void (*body)(void*);
    void* context;
};

unsigned __stdcall startThread(void* start) {
    ThreadStart* s = static_cast<ThreadStart*>(start);
    s->body(s->context);
    return 0;
}

} // namespace

bool runOnNewThread(uint64_t stackSize, void (*body)(void*), void* context) {
    if (stackSize > 0xFFFFFFFFu)
        return false;
    ThreadStart start = {body, context};
    // The size is what the thread reserves, not what it commits at once; the
    // C runtime's own start keeps its per-thread data right.
    uintptr_t thread = _beginthreadex(nullptr, unsigned(stackSize), startThread, &start,
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0)
        thread = _beginthreadex(nullptr, unsigned(stackSize), startThread, &start, 0, nullptr);
    if (thread == 0)
        return false;
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

} // namespace platform
} // namespace tarn
