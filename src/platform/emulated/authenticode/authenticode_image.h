#pragma once
// The parts of a PE file that Authenticode works with: where the checksum field and
// the certificate-table entry lie, the certificate table's WIN_CERTIFICATE entries, and
// the Authenticode digest, which leaves those three out of the hash.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <openssl/evp.h>

namespace Emulated {

struct PeLayout {
  size_t checksumOffset = 0;       // the optional header's CheckSum field (4 bytes)
  size_t securityEntryOffset = 0;  // data directory 4, the certificate table (8 bytes)
  size_t tableOffset = 0;          // the certificate table itself, 0 when absent
  size_t tableSize = 0;
};

// The layout of a PE32 or PE32+ image, or nothing when data is not one.
std::optional<PeLayout> ReadPeLayout(std::span<const uint8_t> data);

// The bCertificate bytes of the first WIN_CERTIFICATE entry holding PKCS#7 SignedData,
// or nothing when the table holds none.
std::optional<std::span<const uint8_t>> PrimarySignatureBlob(std::span<const uint8_t> data,
                                                             const PeLayout& layout);

// The Authenticode digest of the image with md: every byte but the checksum field,
// the certificate-table entry and the certificate table.
std::vector<uint8_t> AuthenticodeDigest(std::span<const uint8_t> data, const PeLayout& layout,
                                        const EVP_MD* md);

// The plain digest of data with md (how catalogs index files that are not images).
std::vector<uint8_t> PlainDigest(std::span<const uint8_t> data, const EVP_MD* md);

}  // namespace Emulated
