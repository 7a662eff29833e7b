#include "platform/file_notify_records.h"

namespace Platform {
namespace {

constexpr size_t kHeaderBytes = 12;  // NextEntryOffset, Action, FileNameLength

uint32_t ReadDword(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void WriteDword(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool ParseFileNotifyRecords(std::span<const uint8_t> bytes, std::vector<FileNotifyRecord>* records) {
  std::vector<FileNotifyRecord> parsed;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < kHeaderBytes) return false;
    const uint32_t next = ReadDword(bytes, at);
    const uint32_t nameBytes = ReadDword(bytes, at + 8);
    if (nameBytes % 2 != 0 || nameBytes > bytes.size() - at - kHeaderBytes) return false;
    if (next != 0 && (next < kHeaderBytes + nameBytes || next >= bytes.size() - at)) return false;
    FileNotifyRecord record{ReadDword(bytes, at + 4), {}};
    for (size_t i = 0; i < nameBytes; i += 2) {
      const size_t unit = at + kHeaderBytes + i;
      record.fileName.push_back(static_cast<char16_t>(bytes[unit] | bytes[unit + 1] << 8));
    }
    parsed.push_back(std::move(record));
    if (next == 0) break;
    at += next;
  }
  *records = std::move(parsed);
  return true;
}

size_t FileNotifyRecordSize(std::u16string_view fileName) {
  return (kHeaderBytes + 2 * fileName.size() + 3) & ~size_t{3};
}

std::vector<uint8_t> EncodeFileNotifyRecords(std::span<const FileNotifyRecord> records) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < records.size(); ++i) {
    const size_t at = bytes.size();
    const size_t size = FileNotifyRecordSize(records[i].fileName);
    bytes.resize(at + size, 0);
    const bool last = i + 1 == records.size();
    WriteDword(&bytes, at, last ? 0 : static_cast<uint32_t>(size));
    WriteDword(&bytes, at + 4, records[i].action);
    WriteDword(&bytes, at + 8, static_cast<uint32_t>(2 * records[i].fileName.size()));
    for (size_t c = 0; c < records[i].fileName.size(); ++c) {
      bytes[at + kHeaderBytes + 2 * c] = static_cast<uint8_t>(records[i].fileName[c]);
      bytes[at + kHeaderBytes + 2 * c + 1] = static_cast<uint8_t>(records[i].fileName[c] >> 8);
    }
  }
  return bytes;
}

}  // namespace Platform
