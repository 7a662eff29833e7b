#include "fleet/export/machine_identity.h"

#include <openssl/sha.h>

namespace Fleet {

std::string SubjectToken(const std::string& name) {
  std::string out;
  for (const unsigned char c : name) {
    if ((c & 0xC0) == 0x80) continue;  // the rest of a character already replaced
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    out += kept ? static_cast<char>(c) : '_';
  }
  return out;
}

std::string MachineIdOfName(const std::string& name) { return Sha256Hex(name); }

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char byte : digest) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

bool IsMachineId(const std::string& id) {
  return !id.empty() && id.size() <= 128 && SubjectToken(id) == id;
}

std::string EventSubject(const std::string& machine) { return "brumevale.events." + machine; }
std::string InventorySubject(const std::string& machine) { return "brumevale.inventory." + machine; }
std::string DeadSubject(const std::string& machine) { return "brumevale.dead." + machine; }

}  // namespace Fleet
