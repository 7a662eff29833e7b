#pragma once
// One record of the minifilter's reply, read out of the reply buffer. The buffer
// comes from a kernel driver and is trusted for nothing: every read here is bounded
// by the buffer, and a record that does not lie wholly inside it is not read at all.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace Intake {

// Wire constants shared with the driver.
inline constexpr size_t kDriverReplySize = 107200;
inline constexpr size_t kRecordDataOffset = 44;
// The fixed part counts as 48 bytes for stepping, although the data begins at 44.
inline constexpr size_t kRecordStride = 48;

// Operation bits.
inline constexpr uint32_t kOpProcessStarted = 0x200;
inline constexpr uint32_t kOpProcessEnded = 0x400;
inline constexpr uint32_t kOpThreadCreated = 0x800;
inline constexpr uint32_t kOpThreadEnded = 0x1000;
inline constexpr uint32_t kOpRegistryValueSet = 0x2000;
inline constexpr uint32_t kOpRegistryValueDeleted = 0x4000;
inline constexpr uint32_t kOpRegistryKeyDeleted = 0x8000;

// File record operations.
inline constexpr uint32_t kFileOpCreate = 1;
inline constexpr uint32_t kFileOpCleanup = 2;
inline constexpr uint32_t kFileOpDisposition = 4;
inline constexpr uint32_t kFileOpClose = 16;
inline constexpr uint32_t kFileOpRename = 32;
inline constexpr uint32_t kFileOpWriteStarted = 64;
inline constexpr uint32_t kFileOpWriteFinished = 128;

enum class RecordClass { Process, Thread, Registry, File };

struct DriverRecord {
  uint32_t dataLength = 0;
  uint64_t id1 = 0;
  uint64_t id2 = 0;
  uint64_t id3 = 0;
  uint32_t operation = 0;
  uint32_t detail = 0;
  // The record's data bytes; always inside the reply buffer.
  std::span<const uint8_t> data;
};

RecordClass ClassifyRecord(uint32_t operation);

// Reads the record that starts at offset. False when its fixed part or its data
// would run past the end of the buffer; record is then left unchanged.
bool ReadDriverRecord(std::span<const uint8_t> buffer, size_t offset, DriverRecord& record);

// The NUL-terminated UTF-16 string at byte offset of data. terminated tells whether a
// NUL unit was found; without one the string runs to the last whole unit of data.
// Returns the number of bytes consumed, the terminator included when there is one.
size_t ReadWideString(std::span<const uint8_t> data, size_t offset, std::u16string& text,
                      bool& terminated);
// The same string measured without copying it: its length in units, the terminator
// not counted.
size_t WideStringUnits(std::span<const uint8_t> data, size_t offset, bool& terminated);

}  // namespace Intake
