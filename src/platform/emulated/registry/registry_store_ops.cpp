// The store's handle operations, behind RegistryView: access checks, predefined
// roots and the changes that the view reports as activity.
#include "platform/emulated/registry/registry_store.h"

#include <algorithm>

namespace Emulated {

using namespace Platform;

template <typename F>
Win32Error RegistryStore::Locked(F&& operation) {
  Events events;
  Win32Error result;
  {
    std::lock_guard lock(mutex_);
    result = operation(&events);
  }
  Signal(events);
  return result;
}

// Windows maps HKEY_CURRENT_USER to HKU\.DEFAULT while the user's own hive is not
// loaded; a process whose owner has no hive reads the default profile instead of
// failing.
RegistryStore::KeyPtr RegistryStore::Predefined(std::u16string_view userSid, Handle handle) const {
  switch (handle) {
    case kHkeyLocalMachine:
      return machineRoot_;
    case kHkeyUsers:
      return usersRoot_;
    case kHkeyClassesRoot:
      return Lookup(machineRoot_, u"SOFTWARE\\Classes");
    case kHkeyCurrentUser:
      if (KeyPtr hive = usersRoot_->FindSubkey(userSid)) return hive;
      return usersRoot_->FindSubkey(u".DEFAULT");
    default:
      return nullptr;
  }
}

// The access check comes before the deleted check: Windows checks the handle's
// rights when it references the handle, before it looks at the key.
Win32Error RegistryStore::Resolve(std::u16string_view userSid, Handle handle, uint32_t needed,
                                  KeyPtr* key) const {
  if (IsPredefinedKey(handle)) {
    KeyPtr root = Predefined(userSid, handle);
    if (root == nullptr) return kErrorFileNotFound;
    *key = std::move(root);
    return kErrorSuccess;
  }
  const RegistryHandleEntry* entry = handles_.Find(handle);
  if (entry == nullptr) return kErrorInvalidHandle;
  if ((entry->access & needed) != needed) return kErrorAccessDenied;
  if (entry->key->Deleted()) return kErrorKeyDeleted;
  *key = entry->key;
  return kErrorSuccess;
}

Win32Error RegistryStore::OpenKey(std::u16string_view userSid, Handle parent,
                                  std::u16string_view subKey, uint32_t access, bool create,
                                  Handle* key, uint32_t* disposition) {
  if (key == nullptr) return kErrorInvalidParameter;
  return Locked([&](Events* events) {
    KeyPtr base;
    if (Win32Error r = Resolve(userSid, parent, create ? kKeyCreateSubKey : 0, &base)) return r;
    KeyPtr found;
    bool created = false;
    const WalkMode mode = create ? WalkMode::kCreate : WalkMode::kOpen;
    if (Win32Error r = Walk(base, subKey, mode, &found, &created, events)) return r;
    *key = handles_.Add(std::move(found), access);
    if (disposition != nullptr) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    return kErrorSuccess;
  });
}

Win32Error RegistryStore::CloseKey(Handle key) {
  if (IsPredefinedKey(key)) return kErrorSuccess;
  return Locked([&](Events* events) {
    if (!handles_.Remove(key)) return kErrorInvalidHandle;
    watches_.HandleClosed(key, events);
    return kErrorSuccess;
  });
}

Win32Error RegistryStore::EnumKey(std::u16string_view userSid, Handle key, uint32_t index,
                                  std::u16string* name) {
  std::lock_guard lock(mutex_);
  KeyPtr found;
  if (Win32Error r = Resolve(userSid, key, kKeyEnumerateSubKeys, &found)) return r;
  const RegistryKey* subkey = found->SubkeyAt(index);
  if (subkey == nullptr) return kErrorNoMoreItems;
  *name = subkey->Name();
  return kErrorSuccess;
}

Win32Error RegistryStore::EnumValue(std::u16string_view userSid, Handle key, uint32_t index,
                                    RegistryValue* value) {
  std::lock_guard lock(mutex_);
  KeyPtr found;
  if (Win32Error r = Resolve(userSid, key, kKeyQueryValue, &found)) return r;
  if (index >= found->Values().size()) return kErrorNoMoreItems;
  *value = found->Values()[index];
  return kErrorSuccess;
}

Win32Error RegistryStore::QueryValue(std::u16string_view userSid, Handle key,
                                     std::u16string_view name, RegistryValue* value) {
  std::lock_guard lock(mutex_);
  KeyPtr found;
  if (Win32Error r = Resolve(userSid, key, kKeyQueryValue, &found)) return r;
  const RegistryValue* stored = found->FindValue(name);
  if (stored == nullptr) return kErrorFileNotFound;
  *value = *stored;
  return kErrorSuccess;
}

Win32Error RegistryStore::QueryInfo(std::u16string_view userSid, Handle key,
                                    RegistryKeyInfo* info) {
  std::lock_guard lock(mutex_);
  KeyPtr found;
  if (Win32Error r = Resolve(userSid, key, kKeyQueryValue, &found)) return r;
  RegistryKeyInfo result;
  result.subKeys = static_cast<uint32_t>(found->Subkeys().size());
  for (const auto& [name, child] : found->Subkeys()) {
    result.maxSubKeyLength = std::max(result.maxSubKeyLength, static_cast<uint32_t>(name.size()));
  }
  result.values = static_cast<uint32_t>(found->Values().size());
  for (const RegistryValue& value : found->Values()) {
    result.maxValueNameLength =
        std::max(result.maxValueNameLength, static_cast<uint32_t>(value.name.size()));
    result.maxValueLength = std::max(result.maxValueLength, static_cast<uint32_t>(value.data.size()));
  }
  *info = result;
  return kErrorSuccess;
}

Win32Error RegistryStore::SetValue(std::u16string_view userSid, Handle key,
                                   std::u16string_view name, uint32_t type,
                                   std::span<const uint8_t> data, RegistryChange* change) {
  return Locked([&](Events* events) {
    KeyPtr found;
    if (Win32Error r = Resolve(userSid, key, kKeySetValue, &found)) return r;
    // The roots above the hives hold no values.
    if (found == root_ || found == machineRoot_ || found == usersRoot_) return kErrorAccessDenied;
    const RegistryValue& stored =
        found->SetValue(name, type, std::vector<uint8_t>(data.begin(), data.end()));
    *change = {RegistryChange::Kind::kValueSet, found->KernelPath(), stored.name};
    watches_.Changed(*found, kRegNotifyChangeLastSet, events);
    return kErrorSuccess;
  });
}

Win32Error RegistryStore::DeleteValue(std::u16string_view userSid, Handle key,
                                      std::u16string_view name, RegistryChange* change) {
  return Locked([&](Events* events) {
    KeyPtr found;
    if (Win32Error r = Resolve(userSid, key, kKeySetValue, &found)) return r;
    const RegistryValue* stored = found->FindValue(name);
    if (stored == nullptr) return kErrorFileNotFound;
    *change = {RegistryChange::Kind::kValueDeleted, found->KernelPath(), stored->name};
    found->RemoveValue(name);
    watches_.Changed(*found, kRegNotifyChangeLastSet, events);
    return kErrorSuccess;
  });
}

Win32Error RegistryStore::DeleteKey(std::u16string_view userSid, Handle parent,
                                    std::u16string_view subKey, bool tree,
                                    std::vector<RegistryChange>* changes) {
  return Locked([&](Events* events) {
    KeyPtr target;
    if (Win32Error r = Resolve(userSid, parent, 0, &target)) return r;
    if (!subKey.empty()) {
      if (Win32Error r = Walk(target, subKey, WalkMode::kOpen, &target, nullptr, events)) return r;
    }
    if (tree && subKey.empty()) {
      // RegDeleteTree without a subkey empties the key and keeps it.
      std::vector<KeyPtr> children;
      for (const auto& [name, child] : target->Subkeys()) children.push_back(child);
      for (const KeyPtr& child : children) DeleteSubtree(child, changes, events);
      for (const RegistryValue& value : target->Values()) {
        changes->push_back({RegistryChange::Kind::kValueDeleted, target->KernelPath(), value.name});
      }
      if (!target->Values().empty()) watches_.Changed(*target, kRegNotifyChangeLastSet, events);
      target->ClearValues();
      return kErrorSuccess;
    }
    if (target->IsHiveRoot()) return kErrorAccessDenied;
    if (!tree && !target->Subkeys().empty()) return kErrorAccessDenied;
    DeleteSubtree(target, changes, events);
    return kErrorSuccess;
  });
}

Win32Error RegistryStore::Notify(std::u16string_view userSid, Handle key, bool watchSubtree,
                                 uint32_t filter, Handle event) {
  std::lock_guard lock(mutex_);
  KeyPtr found;
  if (Win32Error r = Resolve(userSid, key, kKeyNotify, &found)) return r;
  if (event == 0 || filter == 0) return kErrorInvalidParameter;
  watches_.Add({key, found, watchSubtree, filter, event});
  return kErrorSuccess;
}

}  // namespace Emulated
