#pragma once
// A registry value set, value delete or key delete as the driver reported it, with
// the value's data and its text forms.

#include <cstdint>
#include <string>
#include <vector>

#include "intake/system_log_entry.h"

inline constexpr uint32_t kRegistryValueSet = 1;
inline constexpr uint32_t kRegistryValueDeleted = 2;
inline constexpr uint32_t kRegistryKeyDeleted = 3;

// Data larger than this is not read: no value the engine watches is that large.
inline constexpr uint32_t kMaxRegistryData = 2048;

class RegistryEntry : public SystemLogEntry {
 public:
  RegistryEntry(Platform::System& system, const DriverRecord& record);

  // Key path, value name and data, as far as they are well formed; what was read
  // before a fault is kept.
  bool ReadRecord(const DriverRecord& record) override;

  // The text form of the value (string, multi-string element index, number or hex
  // bytes); false when the data has no text form.
  bool GetValueText(size_t index, std::u16string& text) const;
  // The number of strings of a multi-string value.
  size_t GetValueCount() const { return strings_.size(); }

  uint32_t Operation() const { return operation_; }
  // Kernel form: "\REGISTRY\MACHINE\..." or "\REGISTRY\USER\<SID>\...".
  const std::u16string& KeyPath() const { return keyPath_; }
  const std::u16string& ValueName() const { return valueName_; }
  uint32_t ValueType() const { return valueType_; }
  bool HasData() const { return hasData_; }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  // One string of a multi-string value, in 16-bit units from the data's start.
  struct StringSpan {
    size_t start;
    size_t length;
  };

  void ReadStrings(std::span<const uint8_t> data);
  void SplitMultiString();
  std::u16string UnitsToText(size_t start, size_t length) const;

  uint32_t operation_ = 0;
  std::u16string keyPath_;
  std::u16string valueName_;
  bool hasData_ = false;
  std::vector<uint8_t> data_;
  uint32_t valueType_ = 0;
  std::vector<StringSpan> strings_;
};
