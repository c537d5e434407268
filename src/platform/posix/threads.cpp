// Linux threads and locks.
#include "platform/platform.h"

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

namespace tarn {
namespace platform {

static_assert(sizeof(pthread_mutex_t) <= sizeof(Lock::storage), "a mutex fits in a Lock");

// glibc's PTHREAD_MUTEX_INITIALIZER is all zero bytes, as a Lock starts.
static pthread_mutex_t* mutexOf(Lock& lock) {
    return reinterpret_cast<pthread_mutex_t*>(lock.storage);
}

void acquireLock(Lock& lock) {
    pthread_mutex_lock(mutexOf(lock));
}

bool tryAcquireLock(Lock& lock) {
    return pthread_mutex_trylock(mutexOf(lock)) == 0;
}

void releaseLock(Lock& lock) {
    pthread_mutex_unlock(mutexOf(lock));
}

namespace {

struct ThreadStart {
    void (*body)(void*);
    void* context;
};

void* startThread(void* start) {
    ThreadStart* s = static_cast<ThreadStart*>(start);
    s->body(s->context);
    return nullptr;
}

} // namespace

bool runOnNewThread(uint64_t stackSize, void (*body)(void*), void* context) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return false;
    bool ok = true;
    if (stackSize > 0) {
        uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
        uint64_t minimum = uint64_t(PTHREAD_STACK_MIN);
        uint64_t size = stackSize < minimum ? minimum : stackSize;
        size = (size + page - 1) / page * page;
        ok = size <= SIZE_MAX && pthread_attr_setstacksize(&attr, size_t(size)) == 0;
    }
    // A Java thread's stack carries the VM's own guard zones.
    pthread_attr_setguardsize(&attr, 0);
    ThreadStart start = {body, context};
    pthread_t thread;
    ok = ok && pthread_create(&thread, &attr, startThread, &start) == 0;
    pthread_attr_destroy(&attr);
    if (ok)
        pthread_join(thread, nullptr);
    return ok;
}

} // namespace platform
} // namespace tarn
