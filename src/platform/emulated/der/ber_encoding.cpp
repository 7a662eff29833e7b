#include "platform/emulated/der/ber_encoding.h"

namespace Emulated {
namespace {

// Deeper nesting than any signature has: a guard against hostile input.
constexpr int kMaxDepth = 64;
constexpr uint8_t kConstructed = 0x20;
constexpr uint8_t kConstructedOctetString = 0x24;

void AppendLength(std::vector<uint8_t>& out, size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<uint8_t>(length));
    return;
  }
  std::vector<uint8_t> bytes;
  for (size_t rest = length; rest != 0; rest >>= 8) bytes.insert(bytes.begin(), static_cast<uint8_t>(rest));
  out.push_back(static_cast<uint8_t>(0x80 | bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

class Converter {
 public:
  explicit Converter(std::span<const uint8_t> in) : in_(in) {}

  // Converts the element at position at; at moves past it.
  bool Element(size_t& at, std::vector<uint8_t>& out, int depth);

 private:
  bool Identifier(size_t& at, std::vector<uint8_t>& identifier);
  // The definite length, or nothing for the indefinite form (via indefinite).
  bool Length(size_t& at, size_t* length, bool* indefinite);
  bool Children(size_t& at, size_t end, bool indefinite, std::vector<uint8_t>& out, int depth);

  std::span<const uint8_t> in_;
};

bool Converter::Identifier(size_t& at, std::vector<uint8_t>& identifier) {
  if (at >= in_.size()) return false;
  identifier.push_back(in_[at]);
  if ((in_[at++] & 0x1F) != 0x1F) return true;
  // High tag numbers: base-128 digits, the last without its top bit.
  while (at < in_.size() && identifier.size() < 6) {
    identifier.push_back(in_[at]);
    if ((in_[at++] & 0x80) == 0) return true;
  }
  return false;
}

bool Converter::Length(size_t& at, size_t* length, bool* indefinite) {
  if (at >= in_.size()) return false;
  const uint8_t first = in_[at++];
  *indefinite = first == 0x80;
  *length = 0;
  if (first < 0x80 || *indefinite) {
    *length = first;
    return true;
  }
  const size_t digits = first & 0x7F;
  if (digits > sizeof(size_t) || digits > in_.size() - at) return false;
  for (size_t i = 0; i < digits; ++i) *length = (*length << 8) | in_[at++];
  return *length <= in_.size() - at;
}

// Until end (definite) or the end-of-contents octets (indefinite).
bool Converter::Children(size_t& at, size_t end, bool indefinite, std::vector<uint8_t>& out, int depth) {
  while (true) {
    if (indefinite && at + 1 < in_.size() && in_[at] == 0 && in_[at + 1] == 0) {
      at += 2;
      return true;
    }
    if (!indefinite && at == end) return true;
    if (!indefinite && at > end) return false;
    if (!Element(at, out, depth + 1)) return false;
  }
}

bool Converter::Element(size_t& at, std::vector<uint8_t>& out, int depth) {
  std::vector<uint8_t> identifier;
  size_t length = 0;
  bool indefinite = false;
  if (depth > kMaxDepth || !Identifier(at, identifier) || !Length(at, &length, &indefinite)) return false;
  const bool constructed = identifier[0] & kConstructed;
  if (indefinite && !constructed) return false;
  if (!constructed) {
    out.insert(out.end(), identifier.begin(), identifier.end());
    AppendLength(out, length);
    out.insert(out.end(), in_.begin() + at, in_.begin() + at + length);
    at += length;
    return true;
  }
  std::vector<uint8_t> contents;
  if (!Children(at, at + length, indefinite, contents, depth)) return false;
  if (identifier.size() == 1 && identifier[0] == kConstructedOctetString) {
    // DER has one primitive OCTET STRING: the pieces' contents joined.
    std::vector<uint8_t> joined;
    size_t piece = 0;
    while (piece < contents.size()) {
      Converter reader(contents);
      std::vector<uint8_t> pieceId;
      size_t pieceLength = 0;
      bool pieceIndefinite = false;
      if (!reader.Identifier(piece, pieceId) || !reader.Length(piece, &pieceLength, &pieceIndefinite)) return false;
      joined.insert(joined.end(), contents.begin() + piece, contents.begin() + piece + pieceLength);
      piece += pieceLength;
    }
    identifier[0] = 0x04;
    contents = std::move(joined);
  }
  out.insert(out.end(), identifier.begin(), identifier.end());
  AppendLength(out, contents.size());
  out.insert(out.end(), contents.begin(), contents.end());
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> BerToDer(std::span<const uint8_t> ber) {
  std::vector<uint8_t> der;
  size_t at = 0;
  if (!Converter(ber).Element(at, der, 0)) return std::nullopt;
  return der;
}

}  // namespace Emulated
