#include "intake/driver_record.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/byte_order.h"

namespace Intake {

namespace {

// The number of 16-bit units before the first zero unit (units when there is none).
// Names fill most of a reply, so several units are tested at a time: eight with
// SSE2 where the target has it, else four in a word, where a word has a zero unit
// exactly when the borrow trick below leaves a top bit set in some unit.
size_t UnitsBeforeNul(const uint8_t* start, size_t units) {
  size_t length = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; length + 8 <= units; length += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + 2 * length));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, zero));
    if (mask != 0) return length + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask))) / 2;
  }
#endif
  constexpr uint64_t kLow = 0x0001000100010001ULL;
  constexpr uint64_t kHigh = 0x8000800080008000ULL;
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
  const uint32_t dataLength = Platform::ReadLe<uint32_t>(buffer, offset);
  if (buffer.size() - offset - kRecordDataOffset < dataLength) return false;

  record.dataLength = dataLength;
  record.id1 = Platform::ReadLe<uint64_t>(buffer, offset + 8);
  record.id2 = Platform::ReadLe<uint64_t>(buffer, offset + 16);
  record.id3 = Platform::ReadLe<uint64_t>(buffer, offset + 24);
  record.operation = Platform::ReadLe<uint32_t>(buffer, offset + 32);
  record.detail = Platform::ReadLe<uint32_t>(buffer, offset + 36);
  record.data = buffer.subspan(offset + kRecordDataOffset, dataLength);
  return true;
}

size_t WideStringUnits(std::span<const uint8_t> data, size_t offset, bool& terminated) {
  terminated = false;
  if (offset > data.size()) return 0;
  const size_t units = (data.size() - offset) / 2;
  const size_t length = UnitsBeforeNul(data.data() + offset, units);
  terminated = length < units;
  return length;
}

size_t ReadWideString(std::span<const uint8_t> data, size_t offset, std::u16string& text,
                      bool& terminated) {
  text.clear();
  const size_t length = WideStringUnits(data, offset, terminated);
  if (offset > data.size()) return 0;
  const uint8_t* start = data.data() + offset;
  text.resize(length);
  Platform::CopyUtf16LeUnits(start, length, text.data());
  return (terminated ? length + 1 : length) * 2;
}

}  // namespace Intake
