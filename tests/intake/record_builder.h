#pragma once
// Driver replies laid out byte by byte, the way the minifilter writes them, so that
// the decoder is checked against the wire layout rather than against the emulation.

#include <cstdint>
#include <string>
#include <vector>

namespace Intake {

struct RecordFields {
  uint64_t id1 = 0;
  uint64_t id2 = 0;
  uint64_t id3 = 0;
  uint32_t operation = 0;
  uint32_t detail = 0;
};

class ReplyBuilder {
 public:
  // Appends a record: 44 bytes of fixed part, data, and 4 bytes of padding. The
  // padding is filled with 0xEE so that a decoder that reads it is caught.
  ReplyBuilder& Add(const RecordFields& fields, const std::vector<uint8_t>& data,
                    uint32_t dataLength) {
    const size_t start = bytes_.size();
    bytes_.resize(start + 48 + data.size(), 0);
    Put(start, dataLength, 4);
    Put(start + 4, 0xDDDDDDDD, 4);
    Put(start + 8, fields.id1, 8);
    Put(start + 16, fields.id2, 8);
    Put(start + 24, fields.id3, 8);
    Put(start + 32, fields.operation, 4);
    Put(start + 36, fields.detail, 4);
    Put(start + 40, 0xDDDDDDDD, 4);
    std::copy(data.begin(), data.end(), bytes_.begin() + start + 44);
    Put(start + 44 + data.size(), 0xEEEEEEEE, 4);
    return *this;
  }
  ReplyBuilder& Add(const RecordFields& fields, const std::vector<uint8_t>& data = {}) {
    return Add(fields, data, static_cast<uint32_t>(data.size()));
  }

  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  void Put(size_t offset, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }

  std::vector<uint8_t> bytes_;
};

// UTF-16LE bytes of text, with a terminator unless told otherwise.
inline std::vector<uint8_t> Wide(std::u16string_view text, bool terminated = true) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace Intake
