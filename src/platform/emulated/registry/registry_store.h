#pragma once
// The registry of the machine: keys, values, links, hives and change notifications.
//
// The tree hangs below one root, as the kernel sees it: \REGISTRY\MACHINE (the
// SOFTWARE and SYSTEM hives) and \REGISTRY\USER (one hive per loaded user, with its
// <SID>_Classes hive). Links are keys that name another key by kernel path:
// SYSTEM\CurrentControlSet follows SYSTEM\Select "Current", and
// SOFTWARE\Wow6432Node\Classes is SOFTWARE\Classes\Wow6432Node, as on 64-bit Windows.
//
// Two ways in:
// - handle operations, used by RegistryView, with Win32 results and access checks;
// - edits by path (Apply) and copies (CopyTree), used by the regedit files and the
//   machine's initial content. They report no activity.
// Every operation takes the store's one lock; change notifications are signalled
// after it has been released.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/registry/registry_handles.h"
#include "platform/emulated/registry/registry_key.h"
#include "platform/emulated/registry/registry_watches.h"
#include "platform/emulated/machine/view_context.h"
#include "platform/win32_types.h"

namespace Emulated {

class Machine;

// A change by path. keyPath is the kernel path without "\REGISTRY\":
// "MACHINE\SOFTWARE\x" or "USER\S-1-5-18\x". Links on the way are followed.
struct RegistryEdit {
  enum class Kind { kCreateKey, kDeleteTree, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  std::u16string keyPath;
  std::u16string valueName;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// A key with everything below it, links left out (they are not data of their own).
struct RegistryTreeCopy {
  std::u16string name;
  std::vector<RegistryValue> values;
  std::vector<RegistryTreeCopy> subkeys;
};

// What a handle operation changed, for the activity report of the view.
struct RegistryChange {
  enum class Kind { kValueSet, kValueDeleted, kKeyDeleted };
  Kind kind = Kind::kValueSet;
  std::u16string kernelPath;  // links resolved, names in their stored case
  std::u16string valueName;   // in its stored case
};

struct RegistryKeyInfo {
  uint32_t subKeys = 0;
  uint32_t maxSubKeyLength = 0;
  uint32_t values = 0;
  uint32_t maxValueNameLength = 0;
  uint32_t maxValueLength = 0;
};

class RegistryStore {
 public:
  explicit RegistryStore(Machine& machine);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // A user logs on or off: HKU\<sid> and HKU\<sid>_Classes appear or go (handles
  // into them then answer kErrorKeyDeleted). Loading keeps hives already there.
  void LoadUserHives(std::u16string_view sid);
  void UnloadUserHives(std::u16string_view sid);

  // Applies edits in order under one lock. A failing edit (a name too long, a
  // value under a deleted key) is skipped; the others still apply.
  void Apply(std::span<const RegistryEdit> edits);
  std::optional<RegistryTreeCopy> CopyTree(std::u16string_view keyPath) const;

  // Handle operations. userSid is the acting process's owner: HKEY_CURRENT_USER is
  // HKU\<userSid>, or HKU\.DEFAULT while that hive is not loaded.
  Win32Error OpenKey(std::u16string_view userSid, Platform::Handle parent,
                     std::u16string_view subKey, uint32_t access, bool create,
                     Platform::Handle* key, uint32_t* disposition);
  Win32Error CloseKey(Platform::Handle key);
  Win32Error EnumKey(std::u16string_view userSid, Platform::Handle key, uint32_t index,
                     std::u16string* name);
  Win32Error EnumValue(std::u16string_view userSid, Platform::Handle key, uint32_t index,
                       RegistryValue* value);
  Win32Error QueryValue(std::u16string_view userSid, Platform::Handle key,
                        std::u16string_view name, RegistryValue* value);
  Win32Error QueryInfo(std::u16string_view userSid, Platform::Handle key, RegistryKeyInfo* info);
  Win32Error SetValue(std::u16string_view userSid, Platform::Handle key, std::u16string_view name,
                      uint32_t type, std::span<const uint8_t> data, RegistryChange* change);
  Win32Error DeleteValue(std::u16string_view userSid, Platform::Handle key,
                         std::u16string_view name, RegistryChange* change);
  // tree: RegDeleteTree (an empty subKey empties the key itself); else RegDeleteKey.
  // changes lists every deletion, deepest key first.
  Win32Error DeleteKey(std::u16string_view userSid, Platform::Handle parent,
                       std::u16string_view subKey, bool tree, std::vector<RegistryChange>* changes);
  Win32Error Notify(std::u16string_view userSid, Platform::Handle key, bool watchSubtree,
                    uint32_t filter, Platform::Handle event);

  // How fired notifications are signalled; the machine's object table unless a test
  // watches the store on its own.
  void SetNotificationSignal(std::function<void(Platform::Handle)> signal);
  // Armed notifications that have not fired yet: a test that changes a key waits
  // until the thread that watches it has armed its watch.
  size_t PendingNotifications();

 private:
  using KeyPtr = std::shared_ptr<RegistryKey>;
  using Events = std::vector<Platform::Handle>;
  template <typename F>
  Win32Error Locked(F&& operation);
  void Signal(const Events& events);

  Win32Error Resolve(std::u16string_view userSid, Platform::Handle handle, uint32_t needed,
                     KeyPtr* key) const;
  KeyPtr Predefined(std::u16string_view userSid, Platform::Handle handle) const;
  // How a walk treats missing keys: fail, create them, or (bulk loading only) also
  // create new hives directly below MACHINE or USER.
  enum class WalkMode { kOpen, kCreate, kCreateHive };
  Win32Error Walk(KeyPtr start, std::u16string_view path, WalkMode mode, KeyPtr* key,
                  bool* created, Events* events, int linkDepth = 0);
  KeyPtr FollowLink(const KeyPtr& link, WalkMode mode, Events* events, int linkDepth);
  KeyPtr Lookup(const KeyPtr& start, std::u16string_view path) const;
  void ApplyOne(const RegistryEdit& edit, Events* events);
  void DeleteSubtree(const KeyPtr& key, std::vector<RegistryChange>* changes, Events* events);
  void AddLink(std::u16string_view path, std::u16string target);
  void RefreshControlSetLink();
  KeyPtr AddHive(const KeyPtr& parent, std::u16string_view name);

  Machine& machine_;
  mutable std::mutex mutex_;
  KeyPtr root_;
  KeyPtr machineRoot_;
  KeyPtr usersRoot_;
  RegistryHandleTable handles_;
  RegistryWatchList watches_;
  std::function<void(Platform::Handle)> signal_;
};

}  // namespace Emulated
