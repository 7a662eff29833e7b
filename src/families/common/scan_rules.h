#pragma once
// The ways the full rescan reads a registry location, one routine per way. Each
// reconciles what it finds below root\path with USER_ID userId; a key or value that
// cannot be read is skipped and the rest goes on.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "util/registry_readers.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Value data as the scans store it: REG_MULTI_SZ joined with "\0", REG_BINARY as
// upper-case hex, anything else as UTF-16 text up to the first NUL.
std::u16string ValueDataText(uint32_t valueType, const std::vector<uint8_t>& data);

// The items of a list value: strings split at "," (and at spaces with splitAtSpaces),
// multi-strings one item per string; trimmed, empty items dropped.
std::vector<std::u16string> ListValueItems(uint32_t valueType, const std::vector<uint8_t>& data,
                                           bool splitAtSpaces);
// The same for a value already decoded into strings (one text, or a multi-string's
// strings).
std::vector<std::u16string> ListItemsOfStrings(uint32_t valueType,
                                               const std::vector<std::u16string>& strings,
                                               bool splitAtSpaces);

// Every value of the key: ENTRY_NAME the value's name, COMMAND_LINE its data text.
void ScanKeyValues(Ledger::LedgerContext& context, Platform::Handle root, std::u16string_view path,
                   uint32_t type, const std::u16string& userId);

// One value: ENTRY_NAME valueName, COMMAND_LINE its data text.
void ScanNamedValue(Ledger::LedgerContext& context, Platform::Handle root, std::u16string_view path,
                    std::u16string_view valueName, uint32_t type, const std::u16string& userId);

// One list value: each item is ENTRY_NAME and COMMAND_LINE.
void ScanValueList(Ledger::LedgerContext& context, Platform::Handle root, std::u16string_view path,
                   std::u16string_view valueName, uint32_t type, const std::u16string& userId);

// Every subkey: ENTRY_NAME the subkey's name, COMMAND_LINE its string value valueName
// (empty name: the default value); subkeys without it are skipped. displayValue
// names the value that gives DISPLAY_NAME (null: none; empty: the default value).
void ScanSubkeyValues(Ledger::LedgerContext& context, Platform::Handle root, std::u16string_view path,
                      std::u16string_view valueName, const char16_t* displayValue,
                      uint32_t type, const std::u16string& userId);

// Browser extensions: each subkey is recorded by the first of "Exec", "Script",
// "ClsidExtension", "BandCLSID" it holds (data as COMMAND_LINE, the value's name as
// DISPLAY_NAME). Returns how many of them name a COM class.
int32_t ScanBrowserExtensions(Ledger::LedgerContext& context, Platform::Handle root,
                              std::u16string_view path, uint32_t type,
                              const std::u16string& userId);
// True for the DISPLAY_NAME of an extension whose COMMAND_LINE is a class.
bool IsClassExtension(std::u16string_view displayName);

using VyrUtilities::SubkeyNames;

}  // namespace Families
