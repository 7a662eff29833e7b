#include "platform/emulated/registry/registry_view.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

using namespace Platform;

namespace {

// A process that is not in the process table is treated as a system process.
constexpr std::u16string_view kLocalSystemSid = u"S-1-5-18";

// RegQueryValueEx and RegEnumValue share the data rules: a null data pointer asks
// for type and size only; a short buffer answers kErrorMoreData with the needed size
// and leaves everything else as it was.
Win32Error ReturnData(const RegistryValue& value, uint32_t* type, std::vector<uint8_t>* data,
                      uint32_t dataCapacity, uint32_t* dataSize) {
  const auto size = static_cast<uint32_t>(value.data.size());
  if (data != nullptr && size > dataCapacity) {
    if (dataSize != nullptr) *dataSize = size;
    return kErrorMoreData;
  }
  if (type != nullptr) *type = value.type;
  if (dataSize != nullptr) *dataSize = size;
  if (data != nullptr) *data = value.data;
  return kErrorSuccess;
}

}  // namespace

std::u16string RegistryView::UserSid() const {
  auto process = machine_.ProcessTable().Find(context_.processId);
  if (!process || process->ownerSid.empty()) return std::u16string(kLocalSystemSid);
  return process->ownerSid;
}

Actor RegistryView::Acting() const {
  const uint32_t thread = context_.threadId != 0 ? context_.threadId
                                                 : machine_.CurrentThreadId(context_.processId);
  return Actor{context_.processId, thread};
}

Win32Error RegistryView::OpenKey(Handle parent, std::u16string_view subKey, uint32_t access,
                                 Handle* key) {
  return machine_.RegistryState().OpenKey(UserSid(), parent, subKey, access, false, key, nullptr);
}

Win32Error RegistryView::CreateKey(Handle parent, std::u16string_view subKey, uint32_t options,
                                   uint32_t access, Handle* key, uint32_t* disposition) {
  return machine_.RegistryState().OpenKey(UserSid(), parent, subKey, access, true, key,
                                          disposition);
}

Win32Error RegistryView::CloseKey(Handle key) { return machine_.RegistryState().CloseKey(key); }

Win32Error RegistryView::EnumKey(Handle key, uint32_t index, uint32_t nameCapacity,
                                 std::u16string* name) {
  if (name == nullptr) return kErrorInvalidParameter;
  std::u16string found;
  if (Win32Error r = machine_.RegistryState().EnumKey(UserSid(), key, index, &found)) return r;
  if (found.size() + 1 > nameCapacity) return kErrorMoreData;
  *name = std::move(found);
  return kErrorSuccess;
}

Win32Error RegistryView::EnumValue(Handle key, uint32_t index, uint32_t nameCapacity,
                                   std::u16string* name, uint32_t* type,
                                   std::vector<uint8_t>* data, uint32_t dataCapacity,
                                   uint32_t* dataSize) {
  if (name == nullptr) return kErrorInvalidParameter;
  RegistryValue value;
  if (Win32Error r = machine_.RegistryState().EnumValue(UserSid(), key, index, &value)) return r;
  if (value.name.size() + 1 > nameCapacity) return kErrorMoreData;
  if (Win32Error r = ReturnData(value, type, data, dataCapacity, dataSize)) return r;
  *name = std::move(value.name);
  return kErrorSuccess;
}

Win32Error RegistryView::QueryValue(Handle key, std::u16string_view name, uint32_t* type,
                                    std::vector<uint8_t>* data, uint32_t dataCapacity,
                                    uint32_t* dataSize) {
  RegistryValue value;
  if (Win32Error r = machine_.RegistryState().QueryValue(UserSid(), key, name, &value)) return r;
  return ReturnData(value, type, data, dataCapacity, dataSize);
}

Win32Error RegistryView::SetValue(Handle key, std::u16string_view name, uint32_t type,
                                  std::span<const uint8_t> data) {
  RegistryChange change;
  if (Win32Error r = machine_.RegistryState().SetValue(UserSid(), key, name, type, data, &change)) {
    return r;
  }
  machine_.Activity().RegistryValueSet(Acting(), change.kernelPath, change.valueName, type, data);
  return kErrorSuccess;
}

Win32Error RegistryView::DeleteValue(Handle key, std::u16string_view name) {
  RegistryChange change;
  if (Win32Error r = machine_.RegistryState().DeleteValue(UserSid(), key, name, &change)) return r;
  machine_.Activity().RegistryValueDeleted(Acting(), change.kernelPath, change.valueName);
  return kErrorSuccess;
}

Win32Error RegistryView::DeleteKey(Handle parent, std::u16string_view subKey) {
  return DeleteKeys(parent, subKey, false);
}

Win32Error RegistryView::DeleteTree(Handle parent, std::u16string_view subKey) {
  return DeleteKeys(parent, subKey, true);
}

Win32Error RegistryView::DeleteKeys(Handle parent, std::u16string_view subKey, bool tree) {
  std::vector<RegistryChange> changes;
  if (Win32Error r = machine_.RegistryState().DeleteKey(UserSid(), parent, subKey, tree, &changes)) {
    return r;
  }
  if (changes.empty()) return kErrorSuccess;
  const Actor actor = Acting();
  for (const RegistryChange& change : changes) {
    if (change.kind == RegistryChange::Kind::kKeyDeleted) {
      machine_.Activity().RegistryKeyDeleted(actor, change.kernelPath);
    } else {
      machine_.Activity().RegistryValueDeleted(actor, change.kernelPath, change.valueName);
    }
  }
  return kErrorSuccess;
}

Win32Error RegistryView::QueryInfoKey(Handle key, uint32_t* subKeys, uint32_t* maxSubKeyLength,
                                      uint32_t* values, uint32_t* maxValueNameLength,
                                      uint32_t* maxValueLength) {
  RegistryKeyInfo info;
  if (Win32Error r = machine_.RegistryState().QueryInfo(UserSid(), key, &info)) return r;
  if (subKeys != nullptr) *subKeys = info.subKeys;
  if (maxSubKeyLength != nullptr) *maxSubKeyLength = info.maxSubKeyLength;
  if (values != nullptr) *values = info.values;
  if (maxValueNameLength != nullptr) *maxValueNameLength = info.maxValueNameLength;
  if (maxValueLength != nullptr) *maxValueLength = info.maxValueLength;
  return kErrorSuccess;
}

Win32Error RegistryView::NotifyChangeKeyValue(Handle key, bool watchSubtree, uint32_t filter,
                                              Handle event) {
  return machine_.RegistryState().Notify(UserSid(), key, watchSubtree, filter, event);
}

}  // namespace Emulated
