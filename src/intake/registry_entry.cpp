#include "intake/registry_entry.h"

#include <cstring>
#include <new>

#include "platform/byte_order.h"
#include "util/registry_text.h"
#include "util/text_routines.h"

namespace Intake {

std::unique_ptr<RegistryEntry> RegistryEntry::Create(Platform::System& system,
                                                     const DriverRecord& record) {
  Layout layout = LayOut(record);
  void* memory = ::operator new(sizeof(RegistryEntry) + layout.Bytes(), std::nothrow);
  if (memory == nullptr && layout.hasData) {
    layout.DropData();
    memory = ::operator new(sizeof(RegistryEntry) + layout.Bytes(), std::nothrow);
  }
  if (memory == nullptr) return nullptr;
  // sizeof is a multiple of the object's alignment, so the units behind it are aligned.
  auto* storage = reinterpret_cast<char16_t*>(static_cast<uint8_t*>(memory) + sizeof(RegistryEntry));
  try {
    return std::unique_ptr<RegistryEntry>(new (memory) RegistryEntry(system, record, layout, storage));
  } catch (...) {
    ::operator delete(memory);
    throw;
  }
}

RegistryEntry::RegistryEntry(Platform::System& system, const DriverRecord& record) {
  SetHeader(system, kEntryRegistry, record.id2, 0);
  ReadRecord(record);
}

RegistryEntry::RegistryEntry(Platform::System& system, const DriverRecord& record,
                             const Layout& layout, char16_t* storage) {
  SetHeader(system, kEntryRegistry, record.id2, 0);
  Fill(record, layout, storage);
}

bool RegistryEntry::ReadRecord(const DriverRecord& record) {
  Layout layout = LayOut(record);
  ownStorage_.reset(new (std::nothrow) char16_t[(layout.Bytes() + 1) / 2]);
  if (!ownStorage_ && layout.hasData) {
    layout.DropData();
    ownStorage_.reset(new (std::nothrow) char16_t[layout.Bytes() / 2]);
  }
  if (!ownStorage_) layout = Layout{layout.operation};
  Fill(record, layout, ownStorage_.get());
  return true;
}

// Key path, value name, then the raw data in what remains. A string whose
// terminator is missing ends the reading: its bytes cannot be told from the data.
RegistryEntry::Layout RegistryEntry::LayOut(const DriverRecord& record) {
  Layout layout;
  switch (record.operation) {
    case kOpRegistryValueSet: layout.operation = kRegistryValueSet; break;
    case kOpRegistryValueDeleted: layout.operation = kRegistryValueDeleted; break;
    case kOpRegistryKeyDeleted: layout.operation = kRegistryKeyDeleted; break;
    default: return layout;  // inside the registry range but no known operation
  }
  // A departure from the documented decoder, which read nothing of a record over
  // 2048 data bytes: a Run value of 1,009 characters under its key path was never
  // recorded live. Every record that lies inside the reply is read whole.
  const std::span<const uint8_t> data = record.data;
  size_t offset = 0;
  bool terminated = false;
  for (size_t* units : {&layout.keyUnits, &layout.nameUnits}) {
    if (offset == data.size()) return layout;
    const size_t length = WideStringUnits(data, offset, terminated);
    if (!terminated) return layout;
    *units = length;
    if (units == &layout.keyUnits) layout.nameOffset = offset + 2 * (length + 1);
    offset += 2 * (length + 1);
  }
  if (offset == data.size()) return layout;
  layout.dataOffset = offset;
  layout.dataSize = data.size() - offset;
  layout.hasData = true;
  return layout;
}

void RegistryEntry::Fill(const DriverRecord& record, const Layout& layout, char16_t* storage) {
  operation_ = layout.operation;
  if (operation_ != 0) valueType_ = record.detail;
  storage_ = storage;
  keyUnits_ = layout.keyUnits;
  nameUnits_ = layout.nameUnits;
  dataSize_ = layout.dataSize;
  hasData_ = layout.hasData;
  strings_.clear();
  if (storage == nullptr) return;
  Platform::CopyUtf16LeUnits(record.data.data(), keyUnits_, storage);
  Platform::CopyUtf16LeUnits(record.data.data() + layout.nameOffset, nameUnits_, storage + keyUnits_);
  if (hasData_) {
    std::memcpy(storage + keyUnits_ + nameUnits_, record.data.data() + layout.dataOffset,
                dataSize_);
  }
  if (valueType_ == Platform::kRegMultiSz) SplitMultiString();
}

std::span<const uint8_t> RegistryEntry::Data() const {
  return {reinterpret_cast<const uint8_t*>(Units() + keyUnits_ + nameUnits_), dataSize_};
}

// Walks the data as 16-bit units: an empty string ends the list; data that ends
// right after a terminator yields one last, empty string; a last string without a
// terminator ends at the end of the data.
void RegistryEntry::SplitMultiString() {
  const std::span<const uint8_t> data = Data();
  const size_t units = data.size() / 2;
  bool atStart = true;
  for (size_t i = 0; i < units; ++i) {
    const char16_t unit = Platform::Utf16LeUnit(data, i);
    if (atStart) {
      atStart = false;
      if (unit == 0) return;
      strings_.push_back({i, 0});
    }
    if (unit == 0) {
      atStart = true;
    } else {
      ++strings_.back().length;
    }
  }
  if (atStart && units > 0) strings_.push_back({units - 1, 0});
}

std::u16string RegistryEntry::UnitsToText(size_t start, size_t length) const {
  const std::span<const uint8_t> data = Data();
  return Platform::Utf16LeText(data.subspan(2 * start, 2 * length));
}

bool RegistryEntry::GetValueText(size_t index, std::u16string& text) const {
  if (!hasData_) return false;
  const std::span<const uint8_t> data = Data();
  switch (valueType_) {
    case Platform::kRegSz:
    case Platform::kRegExpandSz:
      text = VyrUtilities::CountedText(data.data(), data.size());
      return true;
    case Platform::kRegMultiSz:
      if (index >= strings_.size()) return false;
      text = UnitsToText(strings_[index].start, strings_[index].length);
      return true;
    case Platform::kRegDword: {
      // Shorter data holds no number; reading past it would invent digits.
      if (data.size() < 4) return false;
      const uint32_t raw = Platform::ReadLe32(data);
      text = VyrUtilities::IntToText(static_cast<int32_t>(raw), 10);
      return true;
    }
    case Platform::kRegBinary:
      text = VyrUtilities::ToLower(VyrUtilities::ToHex(data.data(), data.size(), u" "));
      return true;
    default:
      return false;
  }
}

}  // namespace Intake
