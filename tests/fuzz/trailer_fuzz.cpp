// A whole executable image: the trailer reader must stay inside the file
// whatever its length field and the archive size slot say.
#include "config/launch_config.h"
#include "fuzz/fuzz_support.h"

#include <string.h>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    if (size < 4 || size > (1u << 20))
        return 0;
    uint32_t archiveSize;
    memcpy(&archiveSize, data, 4); // what the slot would hold
    file.write(data + 4, size - 4);
    LaunchConfig config(false);
    config.loadFrom(ByteString(file.path()), archiveSize);
    config.lookup("mainclass", true, true);
    findArchiveComment(data, int64_t(size));
    return 0;
}
