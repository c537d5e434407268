// tarnpack reading a JAR it is given: where the archive ends, its manifest and
// the manifest's attributes; and the checks on a configuration file.
#include "config_check.h"
#include "config_text.h"
#include "fuzz/fuzz_support.h"
#include "module_access.h"
#include "wrap.h"
#include "zip.h"

using namespace tarnpack;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    if (size > (1u << 20))
        return 0;
    file.write(data, size);
    try {
        InputFile jar(file.path(), "JAR");
        isWrappedProgram(jar);
        ArchiveLayout layout = measureArchive(jar);
        if (std::optional<std::string> manifest = manifestText(jar, layout)) {
            parseManifestMainClass(*manifest);
            moduleAccessLines(*manifest);
        }
    } catch (const Error&) {
        // Refusing bad input with a message is the expected outcome.
    }
    Bytes bytes(data, data + size);
    checkConfig(bytes);
    findNul(bytes);
    return 0;
}
