#include "platform/emulated/minifilter/driver_record.h"

#include <algorithm>

namespace Emulated {
namespace {

void PutU32(std::span<uint8_t> out, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU64(std::span<uint8_t> out, size_t at, uint64_t value) {
  for (size_t i = 0; i < 8; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(std::span<const uint8_t> in, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(in[at + i]) << (8 * i);
  return value;
}

uint64_t GetU64(std::span<const uint8_t> in, size_t at) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(in[at + i]) << (8 * i);
  return value;
}

void AppendString(std::vector<uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

void EncodeDriverRecord(const DriverRecord& record, std::span<uint8_t> out) {
  std::fill_n(out.begin(), kDriverRecordFixedSize, uint8_t{0});
  PutU32(out, 0, static_cast<uint32_t>(record.data.size()));
  PutU64(out, 8, record.id1);
  PutU64(out, 16, record.id2);
  PutU64(out, 24, record.id3);
  PutU32(out, 32, record.operation);
  PutU32(out, 36, record.detail);
  std::copy(record.data.begin(), record.data.end(), out.begin() + kDriverRecordDataOffset);
  // The 4 bytes after the data belong to the record but carry nothing.
  std::fill_n(out.begin() + kDriverRecordDataOffset + record.data.size(), 4, uint8_t{0});
}

std::vector<uint8_t> EncodeDriverRecord(const DriverRecord& record) {
  std::vector<uint8_t> bytes(record.EncodedSize());
  EncodeDriverRecord(record, bytes);
  return bytes;
}

std::optional<std::vector<DriverRecord>> DecodeDriverRecords(std::span<const uint8_t> bytes,
                                                             uint32_t count) {
  std::vector<DriverRecord> records;
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < kDriverRecordFixedSize) return std::nullopt;
    const std::span<const uint8_t> rest = bytes.subspan(at);
    const size_t length = GetU32(rest, 0);
    if (rest.size() - kDriverRecordFixedSize < length) return std::nullopt;
    DriverRecord record{GetU64(rest, 8), GetU64(rest, 16), GetU64(rest, 24), GetU32(rest, 32),
                        GetU32(rest, 36), {}};
    const auto data = rest.subspan(kDriverRecordDataOffset, length);
    record.data.assign(data.begin(), data.end());
    records.push_back(std::move(record));
    at += kDriverRecordFixedSize + length;
  }
  return records;
}

std::vector<uint8_t> RegistryRecordData(std::u16string_view keyPath,
                                        std::optional<std::u16string_view> valueName,
                                        std::span<const uint8_t> value) {
  std::vector<uint8_t> data;
  data.reserve(2 * (keyPath.size() + valueName.value_or(u"").size() + 2) + value.size());
  AppendString(data, keyPath);
  if (valueName) AppendString(data, *valueName);
  data.insert(data.end(), value.begin(), value.end());
  return data;
}

std::vector<uint8_t> FileRecordData(std::u16string_view name,
                                    std::optional<std::u16string_view> newName) {
  std::vector<uint8_t> data;
  AppendString(data, name);
  if (newName) AppendString(data, *newName);
  return data;
}

std::optional<std::u16string> ReadRecordString(std::span<const uint8_t> data, size_t* offset) {
  std::u16string text;
  for (size_t at = *offset; at + 1 < data.size(); at += 2) {
    const char16_t c = static_cast<char16_t>(data[at] | (data[at + 1] << 8));
    if (c == 0) {
      *offset = at + 2;
      return text;
    }
    text.push_back(c);
  }
  return std::nullopt;
}

}  // namespace Emulated
