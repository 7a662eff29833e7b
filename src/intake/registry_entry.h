#pragma once
// A registry value set, value delete or key delete as the driver reported it, with
// the value's data and its text forms.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "intake/system_log_entry.h"

namespace Intake {

inline constexpr uint32_t kRegistryValueSet = 1;
inline constexpr uint32_t kRegistryValueDeleted = 2;
inline constexpr uint32_t kRegistryKeyDeleted = 3;

class RegistryEntry : public SystemLogEntry {
 public:
  // The decoder's form: the key path, value name and data live in the entry's own
  // allocation, right behind the object, so a record costs one allocation. Null
  // when not even an entry without data can be allocated.
  static std::unique_ptr<RegistryEntry> Create(Platform::System& system,
                                               const DriverRecord& record);
  // A stand-alone entry (on the stack or from plain new) that keeps its texts and
  // data in a block of its own.
  RegistryEntry(Platform::System& system, const DriverRecord& record);
  ~RegistryEntry() override = default;
  // Pairs with the allocation of Create, which is larger than the object.
  static void operator delete(void* memory) { ::operator delete(memory); }

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
  std::u16string_view KeyPath() const { return {Units(), keyUnits_}; }
  std::u16string_view ValueName() const { return {Units() + keyUnits_, nameUnits_}; }
  uint32_t ValueType() const { return valueType_; }
  bool HasData() const { return hasData_; }
  std::span<const uint8_t> Data() const;

 private:
  // Where the parts of a record lie in its data, found before anything is copied.
  struct Layout {
    uint32_t operation = 0;
    size_t keyUnits = 0;
    size_t nameUnits = 0;
    size_t nameOffset = 0;
    size_t dataOffset = 0;
    size_t dataSize = 0;
    bool hasData = false;
    size_t Bytes() const { return 2 * (keyUnits + nameUnits) + dataSize; }
    // Without room for the data an entry still carries its texts.
    void DropData() {
      hasData = false;
      dataSize = 0;
    }
  };
  // One string of a multi-string value, in 16-bit units from the data's start.
  struct StringSpan {
    size_t start;
    size_t length;
  };

  RegistryEntry(Platform::System& system, const DriverRecord& record, const Layout& layout,
                char16_t* storage);
  static Layout LayOut(const DriverRecord& record);
  void Fill(const DriverRecord& record, const Layout& layout, char16_t* storage);
  const char16_t* Units() const { return storage_ != nullptr ? storage_ : u""; }
  void SplitMultiString();
  std::u16string UnitsToText(size_t start, size_t length) const;

  uint32_t operation_ = 0;
  uint32_t valueType_ = 0;
  bool hasData_ = false;
  // Key path units, value name units, then the data bytes; behind the object or in
  // ownStorage_.
  char16_t* storage_ = nullptr;
  size_t keyUnits_ = 0;
  size_t nameUnits_ = 0;
  size_t dataSize_ = 0;
  std::unique_ptr<char16_t[]> ownStorage_;
  std::vector<StringSpan> strings_;
};

}  // namespace Intake
