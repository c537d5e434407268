// The few C++ runtime entry points the launcher needs, on the C heap, so that
// the stub links without libstdc++.
#include "base/array.h"

#include <stdlib.h>

void* operator new(size_t size) {
    return tarn::reallocOrDie(nullptr, size ? size : 1, 1);
}
void* operator new[](size_t size) {
    return tarn::reallocOrDie(nullptr, size ? size : 1, 1);
}
void operator delete(void* block) noexcept {
    free(block);
}
void operator delete[](void* block) noexcept {
    free(block);
}
void operator delete(void* block, size_t) noexcept {
    free(block);
}
void operator delete[](void* block, size_t) noexcept {
    free(block);
}

extern "C" void __cxa_pure_virtual() {
    abort();
}
