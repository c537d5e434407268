// The Java runtime a program can carry: a folder packed into the payload that
// sits between the stub and the configuration block, and its 16-byte
// descriptor in the trailer's reserved bytes.
#pragma once

#include "io.h"

#include <ostream>
#include <string>

namespace tarnpack {

enum class Machine { unknown, linuxX64, windowsX86, windowsX64 };
std::string machineName(Machine machine);
// The machine an ELF or PE image runs on.
Machine imageMachine(const Bytes& header);

struct RuntimePayload {
    Bytes bytes;
    std::string hash; // hex SHA-256 of the content: the cache folder's name
    uint64_t files = 0;
    uint64_t contentSize = 0;
};

// Packs the runtime folder dir for a stub of the given machine; throws when
// dir holds no runtime library for that machine.
RuntimePayload packRuntime(const std::string& dir, Machine target);

// The descriptor for a payload of size bytes (16 zero bytes without one).
Bytes runtimeDescriptor(uint64_t payloadSize);
// Size of the payload that a descriptor announces, 0 when it announces none.
uint64_t payloadSizeOf(const Bytes& descriptor);

// Lines for --inspect about the payload of size bytes ending at end in file.
void describeRuntime(const InputFile& file, uint64_t end, uint64_t size, std::ostream& out);

} // namespace tarnpack
