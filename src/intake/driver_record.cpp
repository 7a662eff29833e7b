#include "intake/driver_record.h"

#include <bit>
#include <cstring>

namespace {

template <typename T>
T ReadLittleEndian(std::span<const uint8_t> bytes, size_t offset) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value |= static_cast<T>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

// The number of 16-bit units before the first zero unit (units when there is none).
// Names fill most of a reply, so four units are tested at a time: a word has a zero
// unit exactly when the borrow trick below leaves a top bit set in some unit.
size_t UnitsBeforeNul(const uint8_t* start, size_t units) {
  constexpr uint64_t kLow = 0x0001000100010001ULL;
  constexpr uint64_t kHigh = 0x8000800080008000ULL;
  size_t length = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; length + 4 <= units; length += 4) {
      uint64_t word;
      std::memcpy(&word, start + 2 * length, sizeof word);
      if (((word - kLow) & ~word & kHigh) != 0) break;
    }
  }
  while (length < units && (start[2 * length] | start[2 * length + 1]) != 0) ++length;
  return length;
}

}  // namespace

// The tests run in this order and the first that matches decides, so a value in
// the registry range that carries a thread bit (0x3000, 0x3800) is a thread record:
// the driver never sends such values, and the bit tests are what both sides agree on.
RecordClass ClassifyRecord(uint32_t operation) {
  if (operation & (kOpProcessStarted | kOpProcessEnded)) return RecordClass::Process;
  if (operation & (kOpThreadCreated | kOpThreadEnded)) return RecordClass::Thread;
  if (operation >= kOpRegistryValueSet && operation <= kOpRegistryKeyDeleted) {
    return RecordClass::Registry;
  }
  return RecordClass::File;
}

bool ReadDriverRecord(std::span<const uint8_t> buffer, size_t offset, DriverRecord& record) {
  // A record counts as present when everything the service reads of it (the fixed
  // part up to the data and the data itself) lies inside the buffer. The 4 unread
  // bytes after the data may be missing on the last record; requiring them would
  // drop a record the driver laid out in full.
  if (offset > buffer.size() || buffer.size() - offset < kRecordDataOffset) return false;
  const uint32_t dataLength = ReadLittleEndian<uint32_t>(buffer, offset);
  if (buffer.size() - offset - kRecordDataOffset < dataLength) return false;

  record.dataLength = dataLength;
  record.id1 = ReadLittleEndian<uint64_t>(buffer, offset + 8);
  record.id2 = ReadLittleEndian<uint64_t>(buffer, offset + 16);
  record.id3 = ReadLittleEndian<uint64_t>(buffer, offset + 24);
  record.operation = ReadLittleEndian<uint32_t>(buffer, offset + 32);
  record.detail = ReadLittleEndian<uint32_t>(buffer, offset + 36);
  record.data = buffer.subspan(offset + kRecordDataOffset, dataLength);
  return true;
}

size_t ReadWideString(std::span<const uint8_t> data, size_t offset, std::u16string& text,
                      bool& terminated) {
  text.clear();
  terminated = false;
  if (offset > data.size()) return 0;
  const size_t units = (data.size() - offset) / 2;
  const uint8_t* start = data.data() + offset;
  const size_t length = UnitsBeforeNul(start, units);
  terminated = length < units;
  text.resize(length);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(text.data(), start, length * 2);
  } else {
    for (size_t i = 0; i < length; ++i) {
      text[i] = static_cast<char16_t>(start[2 * i] | (start[2 * i + 1] << 8));
    }
  }
  return (terminated ? length + 1 : length) * 2;
}
