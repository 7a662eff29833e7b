#pragma once
// The trust provider's verdicts over bytes: an image's embedded Authenticode
// signature, and a catalog's signature over one of its members.

#include <span>
#include <string>
#include <vector>

#include "platform/emulated/authenticode/certificate_stores.h"
#include "platform/emulated/authenticode/signed_message.h"
#include "platform/trust.h"

namespace Emulated {

// WINTRUST_ACTION_GENERIC_VERIFY_V2 on an image, without revocation checks. now is
// the machine's clock, the verify-as-of time of a signature without a time stamp.
Platform::TrustVerdict JudgeEmbeddedSignature(std::span<const uint8_t> image, const CertificateStores& stores,
                                              Platform::FileTime now);

// DRIVER_ACTION_VERIFY on the member tagged memberTag of a catalog whose member file
// is member, revocation checked over the whole chain, which must end in one of
// vendorRoots (SHA-1 thumbprints): the driver policy trusts only the operating-system
// vendor's roots.
Platform::TrustVerdict JudgeCatalogMember(std::span<const uint8_t> catalog, std::u16string_view memberTag,
                                          std::span<const uint8_t> member, const CertificateStores& stores,
                                          Platform::FileTime now, const std::vector<std::u16string>& vendorRoots);

// The hash by which catalogs index a file: the Authenticode digest of an image, the
// digest of the bytes of anything else.
std::vector<uint8_t> CatalogHashOf(std::span<const uint8_t> file, const EVP_MD* md);

// The hash as a member tag: upper-case hexadecimal, two digits a byte.
std::u16string MemberTagOf(std::span<const uint8_t> hash);

// Tags compare without regard to the case of the hexadecimal digits. A member is
// listed under a hash by its tag, or by the digest of its indirect-data attribute
// (catalogs that tag members by file name).
bool SameTag(std::u16string_view a, std::u16string_view b);
bool ListsMember(const CatalogMember& member, std::u16string_view tag);

}  // namespace Emulated
