#pragma once
// One key of the emulated registry and the name rules that every key obeys.
//
// Names compare ignoring the case of A to Z only and keep the case they were first
// written with. Subkeys sort the way the registry sorts them on disk: by the name
// with a to z folded to upper case, so "_x" sorts after "Ab" (0x5F > 0x41) just as
// Windows enumerates them.
//
// A key is guarded by the store's lock; nothing here locks.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Emulated {

inline constexpr char16_t FoldRegistryChar(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}
bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);

struct RegistryNameLess {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const;
};

// Value data as Windows stores it: strings in UTF-16LE with their terminator, DWORDs
// little-endian.
std::vector<uint8_t> RegistryStringData(std::u16string_view text);
std::vector<uint8_t> RegistryDwordData(uint32_t value);

struct RegistryValue {
  std::u16string name;  // empty: the default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class RegistryKey {
 public:
  explicit RegistryKey(std::u16string name, RegistryKey* parent = nullptr)
      : name_(std::move(name)), parent_(parent) {}

  const std::u16string& Name() const { return name_; }
  RegistryKey* Parent() const { return parent_; }
  bool Deleted() const { return deleted_; }
  // Hive roots (and the two roots above them) cannot be deleted through the API.
  bool IsHiveRoot() const { return hiveRoot_; }
  void MarkHiveRoot() { hiveRoot_ = true; }
  // A symbolic link names its target by kernel path ("\REGISTRY\MACHINE\...").
  bool IsLink() const { return !linkTarget_.empty(); }
  const std::u16string& LinkTarget() const { return linkTarget_; }
  void SetLinkTarget(std::u16string target) { linkTarget_ = std::move(target); }

  // "\REGISTRY\MACHINE\SYSTEM\ControlSet001\Services", names in their stored case.
  std::u16string KernelPath() const;
  // True when this key is ancestor or a deeper descendant of it.
  bool IsDescendantOf(const RegistryKey* ancestor) const;

  using SubkeyMap = std::map<std::u16string, std::shared_ptr<RegistryKey>, RegistryNameLess>;
  const SubkeyMap& Subkeys() const { return subkeys_; }
  std::shared_ptr<RegistryKey> FindSubkey(std::u16string_view name) const;
  // The subkey at index in enumeration order, or null past the end. Enumerating
  // index after index walks the map once: the last position is remembered until
  // the subkeys change.
  const RegistryKey* SubkeyAt(size_t index) const;
  // The subkey, created when missing; created reports which.
  std::shared_ptr<RegistryKey> AddSubkey(std::u16string_view name, bool* created);
  // Detaches the subkey and marks it and everything below it deleted.
  void RemoveSubkey(std::u16string_view name);

  const std::vector<RegistryValue>& Values() const { return values_; }
  const RegistryValue* FindValue(std::u16string_view name) const;
  // Replaces the data of an existing value (its name keeps its first case) or adds it
  // at the end, so values enumerate in creation order.
  const RegistryValue& SetValue(std::u16string_view name, uint32_t type,
                                std::vector<uint8_t> data);
  bool RemoveValue(std::u16string_view name);
  void ClearValues() { values_.clear(); }

 private:
  void MarkDeleted();

  std::u16string name_;
  RegistryKey* parent_;
  bool deleted_ = false;
  bool hiveRoot_ = false;
  std::u16string linkTarget_;
  SubkeyMap subkeys_;
  // The enumeration cursor of SubkeyAt; cursorIndex_ past the map: none.
  mutable size_t cursorIndex_ = SIZE_MAX;
  mutable SubkeyMap::const_iterator cursor_;
  std::vector<RegistryValue> values_;
};

}  // namespace Emulated
