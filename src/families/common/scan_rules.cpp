#include "families/common/scan_rules.h"

#include <array>

#include "families/common/class_indirection.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/registry_text.h"
#include "util/text_routines.h"

using enum Intake::LoadPointType;
using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::ReconcileLoadPoint;

namespace Families {

namespace {

// The values an extension may run through, in the order they are tried.
constexpr std::array<std::u16string_view, 4> kExtensionValues = {u"Exec", u"Script",
                                                                 u"ClsidExtension", u"BandCLSID"};

bool OpenForReading(Platform::System& system, Platform::Handle root, std::u16string_view path,
                    Platform::ScopedKey& key) {
  Platform::Registry& registry = system.Registry();
  return registry.OpenKey(root, path, Platform::kKeyRead, key.Receive(registry)) ==
         Platform::kErrorSuccess;
}

void AddItems(std::u16string_view text, bool splitAtSpaces, std::vector<std::u16string>& items) {
  std::u16string current;
  auto flush = [&] {
    std::u16string item = VyrUtilities::Trim(current);
    if (!item.empty()) items.push_back(std::move(item));
    current.clear();
  };
  for (char16_t c : text) {
    if (c == u',' || (splitAtSpaces && c == u' ')) {
      flush();
    } else {
      current.push_back(c);
    }
  }
  flush();
}

}  // namespace

std::u16string ValueDataText(uint32_t valueType, const std::vector<uint8_t>& data) {
  if (valueType == Platform::kRegMultiSz) return VyrUtilities::MultiStringToText(data.data(), data.size());
  if (valueType == Platform::kRegBinary) return VyrUtilities::ToHex(data.data(), data.size(), u"");
  // Every other type, numbers included, is read as the text its bytes spell: that is
  // what a string read of the value returns on Windows.
  return VyrUtilities::CountedText(data.data(), data.size());
}

std::vector<std::u16string> ListItemsOfStrings(uint32_t valueType,
                                               const std::vector<std::u16string>& strings,
                                               bool splitAtSpaces) {
  std::vector<std::u16string> items;
  if (valueType == Platform::kRegSz || valueType == Platform::kRegExpandSz) {
    if (!strings.empty()) AddItems(strings.front(), splitAtSpaces, items);
  } else if (valueType == Platform::kRegMultiSz) {
    // Each string of a multi-string is one item as it stands: its commas belong to it.
    for (const std::u16string& text : strings) {
      std::u16string item = VyrUtilities::Trim(text);
      if (!item.empty()) items.push_back(std::move(item));
    }
  }
  return items;
}

std::vector<std::u16string> ListValueItems(uint32_t valueType, const std::vector<uint8_t>& data,
                                           bool splitAtSpaces) {
  std::vector<std::u16string> strings;
  if (valueType == Platform::kRegMultiSz) {
    VyrUtilities::AppendMultiStrings(data.data(), data.size(), strings);
  } else {
    strings.push_back(VyrUtilities::CountedText(data.data(), data.size()));
  }
  return ListItemsOfStrings(valueType, strings, splitAtSpaces);
}

void ScanKeyValues(LedgerContext& context, Platform::Handle root, std::u16string_view path,
                   uint32_t type, const std::u16string& userId) {
  Platform::ScopedKey key;
  if (!OpenForReading(context.System(), root, path, key)) return;
  Platform::Registry& registry = context.System().Registry();
  // One key may hold many thousands of values, so a stop is looked for at each.
  for (uint32_t index = 0; !FullScanStopping(context); ++index) {
    std::u16string name;
    std::vector<uint8_t> data;
    uint32_t valueType = 0;
    // A departure from the documented rescan, which read each value into a 2048-byte
    // buffer and skipped longer ones: padding a command line hid it from the record.
    // Values of any length are read whole (util/documented_buffers.h says which of
    // them the old buffers would have missed).
    const Platform::Win32Error result =
        VyrUtilities::EnumValueWhole(registry, key.Get(), index, &name, &valueType, &data);
    // A value still growing after every try is passed over; any other failure (no
    // more items, a key deleted under us) answers the same for every later index.
    if (result == Platform::kErrorMoreData) continue;
    if (result != Platform::kErrorSuccess) break;
    ReconcileLoadPoint(context, type, userId, name, ValueDataText(valueType, data), u"", nullptr);
  }
}

void ScanNamedValue(LedgerContext& context, Platform::Handle root, std::u16string_view path,
                    std::u16string_view valueName, uint32_t type, const std::u16string& userId) {
  Platform::ScopedKey key;
  if (!OpenForReading(context.System(), root, path, key)) return;
  std::vector<uint8_t> data;
  uint32_t valueType = 0;
  // Read whole, not into the documented 2048-byte buffer: see ScanKeyValues.
  if (VyrUtilities::QueryValueWhole(context.System().Registry(), key.Get(), valueName, &valueType,
                                    &data) != Platform::kErrorSuccess) {
    return;
  }
  // Only multi-strings are joined here; binary data too is taken as a string.
  std::u16string text = valueType == Platform::kRegMultiSz
                            ? VyrUtilities::MultiStringToText(data.data(), data.size())
                            : VyrUtilities::CountedText(data.data(), data.size());
  ReconcileLoadPoint(context, type, userId, std::u16string(valueName), text, u"", nullptr);
}

void ScanValueList(LedgerContext& context, Platform::Handle root, std::u16string_view path,
                   std::u16string_view valueName, uint32_t type, const std::u16string& userId) {
  Platform::ScopedKey key;
  if (!OpenForReading(context.System(), root, path, key)) return;
  Platform::Registry& registry = context.System().Registry();
  uint32_t valueType = 0;
  uint32_t size = 0;
  if (registry.QueryValue(key.Get(), valueName, &valueType, nullptr, 0, &size) !=
      Platform::kErrorSuccess) {
    return;
  }
  std::vector<uint8_t> data;
  if (registry.QueryValue(key.Get(), valueName, &valueType, &data, size, &size) !=
      Platform::kErrorSuccess) {
    return;
  }
  ReconcileListItems(context, ListValueItems(valueType, data, ListSplitsAtSpaces(type)), type,
                     userId, nullptr, nullptr);
}

void ScanSubkeyValues(LedgerContext& context, Platform::Handle root, std::u16string_view path,
                      std::u16string_view valueName, const char16_t* displayValue,
                      uint32_t type, const std::u16string& userId) {
  Platform::System& system = context.System();
  Platform::ScopedKey key;
  if (!OpenForReading(system, root, path, key)) return;
  for (const std::u16string& name : SubkeyNames(system, key.Get())) {
    if (FullScanStopping(context)) return;
    Platform::ScopedKey subkey;
    if (!OpenForReading(system, key.Get(), name, subkey)) continue;
    std::u16string commandLine;
    if (!VyrUtilities::ReadRegistryString(system, subkey.Get(), valueName, commandLine)) continue;
    // An Active Setup component with an empty "StubPath" runs nothing; the live
    // handler removes it when its stub is emptied, and the rescan must agree.
    if (commandLine.empty() && (type == kActiveSetupType || type == kActiveSetupWow64Type)) continue;
    std::u16string displayName;
    if (displayValue != nullptr &&
        !VyrUtilities::ReadRegistryString(system, subkey.Get(), displayValue, displayName)) {
      displayName.clear();
    }
    ReconcileLoadPoint(context, type, userId, name, commandLine, displayName, nullptr);
  }
}

bool IsClassExtension(std::u16string_view displayName) {
  return displayName == kExtensionValues[2] || displayName == kExtensionValues[3];
}

int32_t ScanBrowserExtensions(LedgerContext& context, Platform::Handle root,
                              std::u16string_view path, uint32_t type,
                              const std::u16string& userId) {
  Platform::System& system = context.System();
  Platform::ScopedKey key;
  if (!OpenForReading(system, root, path, key)) return 0;
  int32_t classEntries = 0;
  for (const std::u16string& name : SubkeyNames(system, key.Get())) {
    if (FullScanStopping(context)) break;
    Platform::ScopedKey subkey;
    if (!OpenForReading(system, key.Get(), name, subkey)) continue;
    for (std::u16string_view valueName : kExtensionValues) {
      std::u16string commandLine;
      if (!VyrUtilities::ReadRegistryString(system, subkey.Get(), valueName, commandLine)) continue;
      ReconcileLoadPoint(context, type, userId, name, commandLine, std::u16string(valueName),
                         nullptr);
      if (IsClassExtension(valueName)) ++classEntries;
      break;
    }
  }
  return classEntries;
}

}  // namespace Families
