#pragma once
// Re-framings of a DER SignedData that Windows' message decoder accepts and DER does
// not allow: indefinite lengths, as streaming signers write them, and signers in an
// order other than DER's sorted one. The signatures inside stay OpenSSL's own.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <openssl/asn1.h>

#include "platform/emulated/der/der_reader.h"

namespace MessageFraming {

using Bytes = std::vector<uint8_t>;

// element re-encoded with every constructed element in indefinite-length form, except
// below one whose members keepMembers(depth, element) says to copy as they are.
template <typename KeepMembers>
void Indefinite(const Emulated::DerElement& element, int depth, const KeepMembers& keepMembers, Bytes& out) {
  if ((element.whole[0] & 0x20) == 0) {
    out.insert(out.end(), element.whole.begin(), element.whole.end());
    return;
  }
  out.insert(out.end(), {element.whole[0], 0x80});  // one-byte tags only: all CMS has
  const bool keep = keepMembers(depth, element);
  Emulated::DerReader members(element.contents);
  while (const auto member = members.Next()) {
    if (keep)
      out.insert(out.end(), member->whole.begin(), member->whole.end());
    else
      Indefinite(*member, depth + 1, keepMembers, out);
  }
  out.insert(out.end(), {0, 0});
}

// A signed message as a streaming signer frames it: ContentInfo, SignedData, their
// fields and the signed content in indefinite lengths; the certificates and signer
// infos (members of SignedData's [0] and SETs, at depth 3) stay DER blobs.
inline Bytes StreamedFraming(const Bytes& der) {
  Emulated::DerReader reader(der);
  const auto top = reader.Next();
  if (!top) return {};
  const auto keepMembers = [](int depth, const Emulated::DerElement& element) {
    return depth == 3 && (element.tagClass == V_ASN1_CONTEXT_SPECIFIC || element.tag == V_ASN1_SET);
  };
  Bytes out;
  Indefinite(*top, 0, keepMembers, out);
  return out;
}

// The SignedData's signer infos, the last field of SignedData inside ContentInfo [0].
inline std::optional<Emulated::DerElement> SignerInfos(const Bytes& der) {
  Emulated::DerReader top(der);
  const auto contentInfo = top.Next();
  if (!contentInfo) return std::nullopt;
  Emulated::DerReader fields = Emulated::Inside(*contentInfo);
  fields.Next();  // contentType
  const auto explicitContent = fields.Next();
  if (!explicitContent) return std::nullopt;
  Emulated::DerReader wrapper = Emulated::Inside(*explicitContent);
  const auto signedData = wrapper.Next();
  if (!signedData) return std::nullopt;
  Emulated::DerReader members = Emulated::Inside(*signedData);
  std::optional<Emulated::DerElement> last;
  while (const auto member = members.Next()) last = member;
  return last;
}

// The message with its first two signer infos in the other order: same bytes, same
// lengths, only their places swapped.
inline Bytes SwapFirstTwoSigners(const Bytes& der) {
  const auto set = SignerInfos(der);
  if (!set) return {};
  Emulated::DerReader signers = Emulated::Inside(*set);
  const auto first = signers.Next();
  const auto second = signers.Next();
  if (!first || !second) return {};
  Bytes out(der.begin(), der.end());
  const size_t at = static_cast<size_t>(first->whole.data() - der.data());
  Bytes swapped(second->whole.begin(), second->whole.end());
  swapped.insert(swapped.end(), first->whole.begin(), first->whole.end());
  std::copy(swapped.begin(), swapped.end(), out.begin() + static_cast<long>(at));
  return out;
}

}  // namespace MessageFraming
