#include "platform/file_notify_records.h"

#include "platform/byte_order.h"

namespace Platform {
namespace {

constexpr size_t kHeaderBytes = 12;  // NextEntryOffset, Action, FileNameLength

}  // namespace

bool ParseFileNotifyRecords(std::span<const uint8_t> bytes, std::vector<FileNotifyRecord>* records) {
  std::vector<FileNotifyRecord> parsed;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < kHeaderBytes) return false;
    const uint32_t next = ReadLe32(bytes, at);
    const uint32_t nameBytes = ReadLe32(bytes, at + 8);
    if (nameBytes % 2 != 0 || nameBytes > bytes.size() - at - kHeaderBytes) return false;
    if (next != 0 && (next < kHeaderBytes + nameBytes || next >= bytes.size() - at)) return false;
    parsed.push_back({ReadLe32(bytes, at + 4), Utf16LeText(bytes.subspan(at + kHeaderBytes, nameBytes))});
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
    WriteLe(bytes, at, last ? 0 : size, 4);
    WriteLe(bytes, at + 4, records[i].action, 4);
    WriteLe(bytes, at + 8, 2 * records[i].fileName.size(), 4);
    for (size_t c = 0; c < records[i].fileName.size(); ++c) {
      WriteLe(bytes, at + kHeaderBytes + 2 * c, records[i].fileName[c], 2);
    }
  }
  return bytes;
}

}  // namespace Platform
