#pragma once
// A registry key path taken apart: which root it hangs from (the machine, a user's
// hive, a user's classes hive or another hive), the SID of a user root, and the key
// names below the root. Bridges the kernel's form ("\REGISTRY\MACHINE\...",
// "\REGISTRY\USER\<SID>\...") and the form users read ("HKEY_LOCAL_MACHINE\...",
// "HKEY_USERS\<SID>\...").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Intake {

enum RegistryRootKind : uint32_t {
  kRootNone = 0,
  kRootMachine = 1,
  kRootUser = 2,
  kRootUserClasses = 3,
  kRootOtherUsersKey = 4,
};

class RegistryKeyPath {
 public:
  // From the kernel form. False for a path of another root, or one that ends at the
  // root or with "\"; what was parsed before the failure is kept.
  bool ParseNative(std::u16string_view path, uint32_t wildcard);
  // From a root, a SID and a subkey path split at every "\" (a trailing empty piece
  // is not a component).
  bool Assign(RegistryRootKind root, std::u16string_view sid, std::u16string_view subKey,
              uint32_t wildcard);
  bool Assign(RegistryRootKind root, std::u16string_view subKey, uint32_t wildcard);

  // With the root: its name first ("HKEY_LOCAL_MACHINE", "HKEY_USERS\<SID>" or
  // "HKEY_USERS\<SID>_Classes"), then "\" and the components.
  std::u16string ToText(bool withRoot) const;

  const std::u16string& Component(size_t index) const { return components_[index]; }
  size_t ComponentCount() const { return components_.size(); }
  // Index of the last component (-1 when there is none).
  int LastComponent() const { return static_cast<int>(components_.size()) - 1; }
  // Components from..to (to clamped to the last; to < 0 means the last) as a path
  // without root. Empty when from is out of range or beyond a non-negative to.
  RegistryKeyPath Slice(int from, int to) const;

  RegistryRootKind Root() const { return root_; }
  const std::u16string& Sid() const { return sid_; }
  const std::vector<std::u16string>& Components() const { return components_; }
  uint32_t Wildcard() const { return wildcard_; }

  static RegistryRootKind RootKindOfHandle(Platform::Handle predefinedKey);

 private:
  void Reset(RegistryRootKind root, std::u16string_view sid, uint32_t wildcard);
  bool ParseUserRoot(std::u16string_view path, size_t& position);
  // Splits text at every "\"; true when a non-empty last piece followed the last "\".
  bool AddComponents(std::u16string_view text);

  RegistryRootKind root_ = kRootNone;
  std::u16string sid_;
  std::vector<std::u16string> components_;
  uint32_t wildcard_ = 0;
};

}  // namespace Intake
