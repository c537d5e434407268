// Splitting argv entries in place, and the text conversions every argument
// passes through on its way to Java.
#include "base/array.h"
#include "base/convert.h"
#include "jvm/java_host.h"

#include <string.h>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    ByteString text(reinterpret_cast<const char*>(data), int32_t(size));
    Array<char*> words;
    int count = splitArguments(words, text.cStr());
    for (int i = 0; i < count; ++i) {
        WideString wide = ansiToWide(words[i]);
        wideToAnsi(wide.cStr(), wide.length());
    }
    WideString wide = utf8ToWide(reinterpret_cast<const char*>(data), int32_t(size));
    wideToUtf8(wide.cStr(), wide.length());
    return 0;
}
