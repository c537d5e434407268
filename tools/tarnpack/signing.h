// Authenticode signatures of wrapped Windows programs, as far as tarnpack needs
// them: where the certificate table sits, and who signed.
#pragma once

#include "io.h"

#include <optional>
#include <string>

namespace tarnpack {

struct CertificateTable {
    uint64_t offset = 0; // file offset (the security directory holds no address)
    uint64_t size = 0;
};

// The table the PE security directory points at; nothing for unsigned or non-PE files.
std::optional<CertificateTable> findCertificateTable(const InputFile& file);

// Where the program's own content ends: the certificate table, else the file's end.
uint64_t contentEnd(const InputFile& file);

// "CN=..., O=..." of the certificate that signed, from the table's PKCS#7
// SignedData; empty when the table cannot be read that far.
std::string signerSubject(const Bytes& table);

} // namespace tarnpack
