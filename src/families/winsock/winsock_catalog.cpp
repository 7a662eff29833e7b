#include "families/winsock/winsock_catalog.h"

#include <array>

#include "families/common/class_indirection.h"
#include "families/common/scan_rules.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"
#include "platform/byte_order.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"

using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::ReconcileLoadPoint;

namespace Families {

namespace {

// A 260-byte path followed by the protocol description, whose 256-character name
// lies 116 bytes into it; shorter data is not a catalog item.
constexpr size_t kMinimumItemSize = 888;
constexpr size_t kProtocolNameOffset = 376;
constexpr size_t kProtocolNameMaxChars = 256;

// Windows-1252 at 0x80..0x9F; the rest of the code page equals Latin-1.
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned and kept as their C1 controls.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string SystemCodePageToText(std::string_view bytes) {
  // The emulated machines are Western-European installations, whose system code page
  // is Windows-1252; a real adapter would ask the operating system instead.
  std::u16string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    text.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80]
                                               : static_cast<char16_t>(byte));
  }
  return text;
}

bool DecodePackedCatalogItem(const std::vector<uint8_t>& data, PackedCatalogItem& item) {
  if (data.size() < kMinimumItemSize) return false;
  size_t pathLength = 0;
  while (pathLength < data.size() && data[pathLength] != 0) ++pathLength;
  item.providerPath = SystemCodePageToText(
      std::string_view(reinterpret_cast<const char*>(data.data()), pathLength));
  item.protocolName.clear();
  for (size_t i = 0; i < kProtocolNameMaxChars; ++i) {
    const size_t at = kProtocolNameOffset + 2 * i;
    if (at + 1 >= data.size()) break;
    const char16_t c = static_cast<char16_t>(Platform::ReadLe16(data, at));
    if (c == 0) break;
    item.protocolName.push_back(c);
  }
  return true;
}

void ScanProtocolCatalog(LedgerContext& context, Platform::Handle root, std::u16string_view path,
                         uint32_t type, const std::u16string& userId) {
  Platform::System& system = context.System();
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(root, path, Platform::kKeyRead, key.Receive(registry)) !=
      Platform::kErrorSuccess) {
    return;
  }
  for (const std::u16string& name : SubkeyNames(system, key.Get())) {
    if (FullScanStopping(context)) return;
    std::vector<uint8_t> data;
    PackedCatalogItem item;
    if (!VyrUtilities::ReadRegistryBinary(system, key.Get(), name, u"PackedCatalogItem", data) ||
        !DecodePackedCatalogItem(data, item)) {
      continue;
    }
    ReconcileLoadPoint(context, type, userId, name, item.providerPath, item.protocolName, nullptr);
  }
}

}  // namespace Families
