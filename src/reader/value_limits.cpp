#include "reader/value_limits.h"

namespace Reader {

size_t Utf16Length(const std::string& text) {
  size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// A text holds no more UTF-16 units than UTF-8 bytes: most are settled by their size.
bool DataBeyondBuffers(const std::string& data) {
  return data.size() > kDataBufferCharacters && Utf16Length(data) > kDataBufferCharacters;
}

bool NameBeyondBuffers(const std::string& name) {
  return name.size() > kNameBufferCharacters && Utf16Length(name) > kNameBufferCharacters;
}

std::string BeyondBuffersNote(const std::string& name, const std::string& data) {
  std::string note;
  if (NameBeyondBuffers(name)) note = "name of " + std::to_string(Utf16Length(name)) + " characters";
  if (DataBeyondBuffers(data)) {
    note += (note.empty() ? "" : ", ") + std::string("value of ") + std::to_string(Utf16Length(data)) + " characters";
  }
  return note.empty() ? note : note + ": longer than the service's 2048-byte buffers";
}

}  // namespace Reader
