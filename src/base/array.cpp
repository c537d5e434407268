#include "base/array.h"

#include <stdio.h>
#include <stdlib.h>

namespace tarn {

int32_t growCapacity(int32_t capacity, int32_t needed) {
    if (capacity >= needed)
        return capacity;
    // Beyond this the doubling below would overflow; no launcher text gets near it.
    if (needed > INT32_MAX / 4)
        reallocOrDie(nullptr, SIZE_MAX, 1);
    if (capacity < 8)
        capacity = 8;
    if (capacity < needed)
        capacity *= 2;
    if (capacity < needed)
        capacity = (needed + 11) & ~7;
    return capacity;
}

void* reallocOrDie(void* block, size_t elements, size_t elementSize) {
    void* grown = nullptr;
    if (elementSize == 0 || elements <= SIZE_MAX / elementSize)
        grown = realloc(block, elements * elementSize);
    if (grown == nullptr) {
        fputs("Out of memory.\n", stderr);
        exit(10);
    }
    return grown;
}

} // namespace tarn
