#include "signing.h"

#include "pe_image.h"

#include <algorithm>
#include <vector>

namespace tarnpack {

std::optional<CertificateTable> findCertificateTable(const InputFile& file) {
    Bytes headers = file.read(0, static_cast<size_t>(std::min<uint64_t>(file.size(), 4096)));
    std::optional<PeHeaders> pe = readPeHeaders(headers);
    if (!pe || pe->directoryCount <= kSecurityDirectory) {
        return std::nullopt;
    }
    const uint8_t* entry = &headers[pe->directoryOffset(kSecurityDirectory)];
    CertificateTable table{le32(entry), le32(entry + 4)};
    if (table.offset == 0 || table.size == 0 || table.offset > file.size() ||
        table.size > file.size() - table.offset) {
        return std::nullopt;
    }
    return table;
}

uint64_t contentEnd(const InputFile& file) {
    std::optional<CertificateTable> table = findCertificateTable(file);
    return table ? table->offset : file.size();
}

namespace {

// A DER value: its tag and its contents.
struct Der {
    uint8_t tag = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Reads the next value of `in` and moves `in` past it.
bool next(Der& in, Der& out) {
    if (in.size < 2) {
        return false;
    }
    out.tag = in.data[0];
    size_t length = in.data[1];
    size_t header = 2;
    if (length & 0x80) {
        size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || in.size < 2 + bytes) {
            return false;
        }
        length = 0;
        for (size_t i = 0; i < bytes; ++i) {
            length = length << 8 | in.data[2 + i];
        }
        header += bytes;
    }
    if (length > in.size - header) {
        return false;
    }
    out.data = in.data + header;
    out.size = length;
    in.data += header + length;
    in.size -= header + length;
    return true;
}

// The next value, which must have `tag`.
bool expect(Der& in, uint8_t tag, Der& out) {
    return next(in, out) && out.tag == tag;
}

bool sameBytes(const Der& a, const Der& b) {
    return a.size == b.size && std::equal(a.data, a.data + a.size, b.data);
}

std::string oidText(const Der& oid) {
    static const struct {
        uint8_t last;
        const char* name;
    } names[] = {{3, "CN"}, {6, "C"}, {7, "L"}, {8, "ST"}, {10, "O"}, {11, "OU"}};
    if (oid.size == 3 && oid.data[0] == 0x55 && oid.data[1] == 0x04) {
        for (const auto& known : names) {
            if (known.last == oid.data[2]) {
                return known.name;
            }
        }
    }
    std::string text;
    uint64_t value = 0;
    for (size_t i = 0; i < oid.size; ++i) {
        value = value << 7 | (oid.data[i] & 0x7F);
        if (oid.data[i] & 0x80) {
            continue;
        }
        if (text.empty()) {
            uint64_t first = value < 80 ? value / 40 : 2;
            text = std::to_string(first) + "." + std::to_string(value - 40 * first);
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return text;
}

// A Name as "CN=..., O=...", in the order the certificate holds it.
std::string nameText(Der name) {
    std::string text;
    Der set;
    while (next(name, set)) {
        Der attribute;
        while (next(set, attribute)) {
            Der type, value;
            if (!expect(attribute, 0x06, type) || !next(attribute, value)) {
                return text;
            }
            std::string shown(reinterpret_cast<const char*>(value.data), value.size);
            if (value.tag == 0x1E) { // BMPString: UTF-16BE, shown when it is ASCII
                shown.clear();
                for (size_t i = 0; i + 1 < value.size; i += 2) {
                    shown += value.data[i] == 0 ? static_cast<char>(value.data[i + 1]) : '?';
                }
            }
            text += (text.empty() ? "" : ", ") + oidText(type) + "=" + shown;
        }
    }
    return text;
}

} // namespace

std::string signerSubject(const Bytes& table) {
    // WIN_CERTIFICATE: length, revision, type 2 (PKCS#7 SignedData), then DER.
    if (table.size() < 8 || le16(&table[6]) != 2) {
        return "";
    }
    Der in{0, table.data() + 8, table.size() - 8};
    Der contentInfo, oid, explicitContent, signedData, skip, certificates, signerInfos;
    if (!expect(in, 0x30, contentInfo) || !expect(contentInfo, 0x06, oid) ||
        !expect(contentInfo, 0xA0, explicitContent) || !expect(explicitContent, 0x30, signedData)) {
        return "";
    }
    // version, digest algorithms, the signed content; then certificates [0],
    // optional CRLs [1] and the signer infos.
    if (!next(signedData, skip) || !next(signedData, skip) || !next(signedData, skip) ||
        !expect(signedData, 0xA0, certificates)) {
        return "";
    }
    do {
        if (!next(signedData, signerInfos)) {
            return "";
        }
    } while (signerInfos.tag != 0x31);
    Der signerInfo, version, issuerAndSerial, issuer, serial;
    if (!expect(signerInfos, 0x30, signerInfo) || !next(signerInfo, version) ||
        !expect(signerInfo, 0x30, issuerAndSerial) || !expect(issuerAndSerial, 0x30, issuer) ||
        !expect(issuerAndSerial, 0x02, serial)) {
        return "";
    }
    Der certificate;
    while (next(certificates, certificate)) {
        Der tbs, field, certSerial, algorithm, certIssuer, validity, subject;
        if (certificate.tag != 0x30 || !expect(certificate, 0x30, tbs) || !next(tbs, field)) {
            continue;
        }
        certSerial = field;
        if (field.tag == 0xA0 && !next(tbs, certSerial)) { // explicit version first
            continue;
        }
        if (certSerial.tag != 0x02 || !next(tbs, algorithm) || !expect(tbs, 0x30, certIssuer) ||
            !next(tbs, validity) || !expect(tbs, 0x30, subject)) {
            continue;
        }
        if (sameBytes(certSerial, serial) && sameBytes(certIssuer, issuer)) {
            return nameText(subject);
        }
    }
    return "";
}

} // namespace tarnpack
