// Linux resources: the string table compiled in from res/tarn.rc.
#include "platform/platform.h"

namespace tarn {
namespace platform {

struct StringBlock {
    int block;
    const unsigned char* data;
    int32_t size;
};
extern const StringBlock stringBlocks[];
extern const int stringBlockCount;

bool findStringBlock(int block, const unsigned char** data, int32_t* size) {
    for (int i = 0; i < stringBlockCount; ++i) {
        if (stringBlocks[i].block == block) {
            *data = stringBlocks[i].data;
            *size = stringBlocks[i].size;
            return true;
        }
    }
    return false;
}

} // namespace platform
} // namespace tarn
