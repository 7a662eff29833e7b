#pragma once
// The driver's record as it travels through the communication port, and the one
// place that knows its byte layout. The minifilter encodes with it; the kernel tests
// decode with it. The service has its own decoder: the two are kept apart on purpose
// so that an end-to-end run checks one against the other.
//
// Layout (little-endian, offsets from the record's start):
//   0 DataLength (u32)   4 reserved (u32, zero)
//   8 Id1 (u64)         16 Id2 (u64)          24 Id3 (u64)
//  32 Operation (u32)   36 Detail (u32)       40 reserved (u32, zero)
//  44 Data (DataLength bytes), then 4 unused bytes (zero)
// A record therefore occupies 48 + DataLength bytes, and the next one starts there.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Emulated {

// Operation values.
namespace DriverOperation {
inline constexpr uint32_t kFileCreated = 1;
inline constexpr uint32_t kFileDeleteMark = 4;
inline constexpr uint32_t kFileClosed = 16;
inline constexpr uint32_t kFileRenamed = 32;
inline constexpr uint32_t kFileWriteStarted = 64;
inline constexpr uint32_t kFileWriteFinished = 128;
inline constexpr uint32_t kProcessStarted = 0x200;
inline constexpr uint32_t kProcessExited = 0x400;
inline constexpr uint32_t kThreadCreated = 0x800;
inline constexpr uint32_t kThreadExited = 0x1000;
inline constexpr uint32_t kRegistryValueSet = 0x2000;
inline constexpr uint32_t kRegistryValueDeleted = 0x4000;
inline constexpr uint32_t kRegistryKeyDeleted = 0x8000;
}  // namespace DriverOperation

// Detail of a file-created record: the object opened is a directory.
inline constexpr uint32_t kFileDetailDirectory = 2;

inline constexpr size_t kDriverRecordFixedSize = 48;
inline constexpr size_t kDriverRecordDataOffset = 44;
// The reply buffer the service hands to every exchange.
inline constexpr size_t kDriverReplyCapacity = 107200;

struct DriverRecord {
  uint64_t id1 = 0;
  uint64_t id2 = 0;
  uint64_t id3 = 0;
  uint32_t operation = 0;
  uint32_t detail = 0;
  std::vector<uint8_t> data;

  size_t EncodedSize() const { return kDriverRecordFixedSize + data.size(); }
  friend bool operator==(const DriverRecord&, const DriverRecord&) = default;
};

// Writes the record into out, which must hold at least record.EncodedSize() bytes.
void EncodeDriverRecord(const DriverRecord& record, std::span<uint8_t> out);
std::vector<uint8_t> EncodeDriverRecord(const DriverRecord& record);

// Reads `count` records laid end to end; nullopt when one would run past the bytes.
std::optional<std::vector<DriverRecord>> DecodeDriverRecords(std::span<const uint8_t> bytes,
                                                             uint32_t count);

// Data of the record classes.
// Registry: key path and value name, each UTF-16 NUL-terminated, then raw value data.
// A key deletion carries the key path alone, a value deletion no raw data.
std::vector<uint8_t> RegistryRecordData(std::u16string_view keyPath,
                                        std::optional<std::u16string_view> valueName,
                                        std::span<const uint8_t> value = {});
// File: the current name, NUL-terminated; a rename adds the new name, NUL-terminated.
std::vector<uint8_t> FileRecordData(std::u16string_view name,
                                    std::optional<std::u16string_view> newName = std::nullopt);

// Reads the NUL-terminated UTF-16 string at *offset of data and moves *offset past
// its terminator; nullopt when no terminator lies within data.
std::optional<std::u16string> ReadRecordString(std::span<const uint8_t> data, size_t* offset);

}  // namespace Emulated
