#include "intake/registry_entry.h"


#include "util/registry_text.h"
#include "util/text_routines.h"

RegistryEntry::RegistryEntry(Platform::System& system, const DriverRecord& record) {
  SetHeader(system, kEntryRegistry, record.id2, 0);
  ReadRecord(record);
}

bool RegistryEntry::ReadRecord(const DriverRecord& record) {
  switch (record.operation) {
    case kOpRegistryValueSet: operation_ = kRegistryValueSet; break;
    case kOpRegistryValueDeleted: operation_ = kRegistryValueDeleted; break;
    case kOpRegistryKeyDeleted: operation_ = kRegistryKeyDeleted; break;
    default: return true;  // inside the registry range but no known operation
  }
  valueType_ = record.detail;
  if (record.data.size() > kMaxRegistryData) return true;
  ReadStrings(record.data);
  if (valueType_ == Platform::kRegMultiSz) SplitMultiString();
  return true;
}

// Key path, value name, then the raw data in what remains. A string whose
// terminator is missing ends the reading: its bytes cannot be told from the data.
void RegistryEntry::ReadStrings(std::span<const uint8_t> data) {
  size_t offset = 0;
  bool terminated = false;
  for (std::u16string* text : {&keyPath_, &valueName_}) {
    if (offset == data.size()) return;
    const size_t used = ReadWideString(data, offset, *text, terminated);
    if (!terminated) {
      text->clear();
      return;
    }
    offset += used;
  }
  if (offset == data.size()) return;
  data_.assign(data.begin() + offset, data.end());
  hasData_ = true;
}

// Walks the data as 16-bit units: an empty string ends the list; data that ends
// right after a terminator yields one last, empty string; a last string without a
// terminator ends at the end of the data.
void RegistryEntry::SplitMultiString() {
  const size_t units = data_.size() / 2;
  bool atStart = true;
  for (size_t i = 0; i < units; ++i) {
    const char16_t unit = static_cast<char16_t>(data_[2 * i] | (data_[2 * i + 1] << 8));
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
  std::u16string text(length, u'\0');
  for (size_t i = 0; i < length; ++i) {
    const size_t byte = 2 * (start + i);
    text[i] = static_cast<char16_t>(data_[byte] | (data_[byte + 1] << 8));
  }
  return text;
}

bool RegistryEntry::GetValueText(size_t index, std::u16string& text) const {
  if (!hasData_) return false;
  switch (valueType_) {
    case Platform::kRegSz:
    case Platform::kRegExpandSz:
      text = VyrUtilities::CountedText(data_.data(), data_.size());
      return true;
    case Platform::kRegMultiSz:
      if (index >= strings_.size()) return false;
      text = UnitsToText(strings_[index].start, strings_[index].length);
      return true;
    case Platform::kRegDword: {
      // Shorter data holds no number; reading past it would invent digits.
      if (data_.size() < 4) return false;
      const uint32_t raw = data_[0] | (data_[1] << 8) | (data_[2] << 16) |
                           (static_cast<uint32_t>(data_[3]) << 24);
      text = VyrUtilities::IntToText(static_cast<int32_t>(raw), 10);
      return true;
    }
    case Platform::kRegBinary:
      text = VyrUtilities::ToLower(VyrUtilities::ToHex(data_.data(), data_.size(), u" "));
      return true;
    default:
      return false;
  }
}
