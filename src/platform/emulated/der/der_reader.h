#pragma once
// A forward reader over DER: one element at a time, its tag, and its contents. The
// Authenticode and catalog structures are read with it where OpenSSL has no type for
// them (SpcIndirectDataContent, the certificate trust list).

#include <cstdint>
#include <optional>
#include <span>

namespace Emulated {

struct DerElement {
  int tag = 0;          // the tag number (V_ASN1_SEQUENCE, V_ASN1_OCTET_STRING, ...)
  int tagClass = 0;     // V_ASN1_UNIVERSAL, V_ASN1_CONTEXT_SPECIFIC, ...
  std::span<const uint8_t> whole;     // tag, length and contents
  std::span<const uint8_t> contents;  // the contents only
};

class DerReader {
 public:
  explicit DerReader(std::span<const uint8_t> data) : rest_(data) {}

  // The next element, or nothing when the data ends or is not DER (then every
  // further call answers nothing too).
  std::optional<DerElement> Next();
  // The next element when it has this universal tag (or context tag when contextTag).
  std::optional<DerElement> Expect(int tag, bool contextTag = false);
  bool AtEnd() const { return rest_.empty(); }

 private:
  std::span<const uint8_t> rest_;
};

// The contents of a sequence, for reading its members.
inline DerReader Inside(const DerElement& element) { return DerReader(element.contents); }

}  // namespace Emulated
