#pragma once
// Winsock catalog entries: the protocol catalog packs its provider's path and
// protocol description into one binary value; the name-space catalog keeps them as
// plain values.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

struct PackedCatalogItem {
  std::u16string providerPath;  // the 8-bit path at the start, as UTF-16
  std::u16string protocolName;  // the protocol description's name field
};

// Decodes a "PackedCatalogItem" value; false when the data is too short to be one.
bool DecodePackedCatalogItem(const std::vector<uint8_t>& data, PackedCatalogItem& item);

// 8-bit text of the system code page to UTF-16.
std::u16string SystemCodePageToText(std::string_view bytes);

// Every entry below root\path (a protocol catalog's "Catalog_Entries" key):
// ENTRY_NAME the subkey name, COMMAND_LINE the provider path, DISPLAY_NAME the
// protocol name.
void ScanProtocolCatalog(Ledger::LedgerContext& context, Platform::Handle root, std::u16string_view path,
                         uint32_t type, const std::u16string& userId);

}  // namespace Families
