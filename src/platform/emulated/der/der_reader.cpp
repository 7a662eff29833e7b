#include "platform/emulated/der/der_reader.h"

#include <openssl/asn1.h>

namespace Emulated {

std::optional<DerElement> DerReader::Next() {
  if (rest_.empty()) return std::nullopt;
  const unsigned char* cursor = rest_.data();
  long length = 0;
  int tag = 0;
  int tagClass = 0;
  const int flags = ASN1_get_object(&cursor, &length, &tag, &tagClass, static_cast<long>(rest_.size()));
  // 0x80 flags an error; 0x21 an indefinite length, which DER never uses.
  if ((flags & 0x80) || flags == 0x21) {
    rest_ = {};
    return std::nullopt;
  }
  const size_t header = static_cast<size_t>(cursor - rest_.data());
  DerElement element;
  element.tag = tag;
  element.tagClass = tagClass;
  element.contents = rest_.subspan(header, static_cast<size_t>(length));
  element.whole = rest_.first(header + static_cast<size_t>(length));
  rest_ = rest_.subspan(header + static_cast<size_t>(length));
  return element;
}

std::optional<DerElement> DerReader::Expect(int tag, bool contextTag) {
  const std::optional<DerElement> element = Next();
  if (!element || element->tag != tag) return std::nullopt;
  if ((element->tagClass == V_ASN1_CONTEXT_SPECIFIC) != contextTag) return std::nullopt;
  return element;
}

}  // namespace Emulated
