#pragma once
// FILE_NOTIFY_INFORMATION records, as GetDirectoryChanges returns them: each record
// is { DWORD NextEntryOffset; DWORD Action; DWORD FileNameLength; WCHAR FileName[]; }
// in little-endian order, starting on a 4-byte boundary. NextEntryOffset is the
// distance from this record to the next one, 0 on the last; FileNameLength counts
// bytes and the name has no terminator. Names are relative to the watched folder
// ("sub\file.txt" below a subtree watch).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

struct FileNotifyRecord {
  uint32_t action = 0;  // kFileAction*
  std::u16string fileName;
  bool operator==(const FileNotifyRecord&) const = default;
};

// The records of bytes, in order. False (records left as they were) when a record
// runs past the end, a name has an odd length or an offset points inside its own
// record or past the end: a caller treats that as an overflow and re-reads the
// folder. No bytes is no records.
bool ParseFileNotifyRecords(std::span<const uint8_t> bytes, std::vector<FileNotifyRecord>* records);

// The bytes one record of name takes, padding included.
size_t FileNotifyRecordSize(std::u16string_view fileName);
// The buffer a read returns for records.
std::vector<uint8_t> EncodeFileNotifyRecords(std::span<const FileNotifyRecord> records);

}  // namespace Platform
