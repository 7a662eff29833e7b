#include "platform/emulated/services/service_registry.h"

#include <cstring>
#include <vector>

#include "platform/byte_order.h"
#include "platform/emulated/registry/registry_key.h"
#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

using namespace Platform;

namespace {

constexpr std::u16string_view kServicesPath = u"MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

std::u16string KeyPath(std::u16string_view name) {
  return std::u16string(kServicesPath) + std::u16string(name);
}

uint32_t DwordOf(const RegistryValue& value) {
  uint32_t result = 0;
  if (value.data.size() >= 4) std::memcpy(&result, value.data.data(), 4);
  return result;
}

std::u16string TextOf(const RegistryValue& value) {
  return Platform::Utf16LeTextToNul(value.data);
}

RegistryEdit SetEdit(std::u16string_view name, std::u16string_view valueName, uint32_t type,
                     std::vector<uint8_t> data) {
  return {RegistryEdit::Kind::kSetValue, KeyPath(name), std::u16string(valueName), type,
          std::move(data)};
}

void ReadValue(const RegistryValue& value, ServiceEntry* entry) {
  const auto is = [&](std::u16string_view name) { return RegistryNamesEqual(value.name, name); };
  if (is(u"Type")) entry->type = DwordOf(value);
  else if (is(u"Start")) entry->start = DwordOf(value);
  else if (is(u"ErrorControl")) entry->errorControl = DwordOf(value);
  else if (is(u"ImagePath")) entry->imagePath = TextOf(value);
  else if (is(u"DisplayName")) entry->displayName = TextOf(value);
  else if (is(u"Group")) entry->group = TextOf(value);
  else if (is(u"ObjectName")) entry->objectName = TextOf(value);
  else if (is(u"DeleteFlag")) entry->deleteFlag = DwordOf(value) != 0;
}

}  // namespace

std::optional<ServiceEntry> ReadServiceEntry(const RegistryStore& registry,
                                             std::u16string_view name) {
  if (name.empty() || name.find(u'\\') != std::u16string_view::npos) return std::nullopt;
  const std::optional<RegistryTreeCopy> tree = registry.CopyTree(KeyPath(name));
  if (!tree) return std::nullopt;
  ServiceEntry entry;
  entry.name = tree->name;
  for (const RegistryValue& value : tree->values) ReadValue(value, &entry);
  return entry;
}

void WriteServiceEntry(RegistryStore& registry, const ServiceConfig& config) {
  const std::u16string& name = config.serviceName;
  std::vector<RegistryEdit> edits{
      {RegistryEdit::Kind::kCreateKey, KeyPath(name), u"", 0, {}},
      SetEdit(name, u"Type", kRegDword, RegistryDwordData(config.serviceType)),
      SetEdit(name, u"Start", kRegDword, RegistryDwordData(config.startType)),
      SetEdit(name, u"ErrorControl", kRegDword, RegistryDwordData(config.errorControl)),
      SetEdit(name, u"ImagePath", kRegExpandSz, RegistryStringData(config.binaryPathName)),
      SetEdit(name, u"DisplayName", kRegSz, RegistryStringData(config.displayName))};
  if (!config.loadOrderGroup.empty()) {
    edits.push_back(SetEdit(name, u"Group", kRegSz, RegistryStringData(config.loadOrderGroup)));
  }
  // Windows names the account of a process service even when the caller gave none;
  // drivers have no account.
  const bool driver = (config.serviceType & 0x3) != 0;
  if (!config.serviceStartName.empty() || !driver) {
    const std::u16string account =
        config.serviceStartName.empty() ? u"LocalSystem" : config.serviceStartName;
    edits.push_back(SetEdit(name, u"ObjectName", kRegSz, RegistryStringData(account)));
  }
  registry.Apply(edits);
}

void MarkServiceEntryDeleted(RegistryStore& registry, std::u16string_view name) {
  const RegistryEdit edit = SetEdit(name, u"DeleteFlag", kRegDword, RegistryDwordData(1));
  registry.Apply({&edit, 1});
}

void RemoveServiceEntry(RegistryStore& registry, std::u16string_view name) {
  const RegistryEdit edit{RegistryEdit::Kind::kDeleteTree, KeyPath(name), u"", 0, {}};
  registry.Apply({&edit, 1});
}

}  // namespace Emulated
