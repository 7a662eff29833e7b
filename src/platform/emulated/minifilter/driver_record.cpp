#include "platform/emulated/minifilter/driver_record.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace Emulated {
namespace {

// Record texts end with a NUL unit.
void AppendString(std::vector<uint8_t>& out, std::u16string_view text) {
  Platform::AppendUtf16Le(out, text);
  Platform::AppendLe(out, 0, 2);
}

}  // namespace

void EncodeDriverRecord(const DriverRecord& record, std::span<uint8_t> out) {
  std::fill_n(out.begin(), kDriverRecordFixedSize, uint8_t{0});
  Platform::WriteLe(out, 0, static_cast<uint32_t>(record.data.size()), 4);
  Platform::WriteLe(out, 8, record.id1, 8);
  Platform::WriteLe(out, 16, record.id2, 8);
  Platform::WriteLe(out, 24, record.id3, 8);
  Platform::WriteLe(out, 32, record.operation, 4);
  Platform::WriteLe(out, 36, record.detail, 4);
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
    const size_t length = Platform::ReadLe32(rest, 0);
    if (rest.size() - kDriverRecordFixedSize < length) return std::nullopt;
    DriverRecord record{Platform::ReadLe64(rest, 8), Platform::ReadLe64(rest, 16), Platform::ReadLe64(rest, 24), Platform::ReadLe32(rest, 32),
                        Platform::ReadLe32(rest, 36), {}};
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
    const char16_t c = static_cast<char16_t>(Platform::ReadLe16(data, at));
    if (c == 0) {
      *offset = at + 2;
      return text;
    }
    text.push_back(c);
  }
  return std::nullopt;
}

}  // namespace Emulated
