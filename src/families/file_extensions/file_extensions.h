#pragma once
// The handler of ".exe" and the shell verbs of "exefile", for the machine and each
// user's classes hive, kept in the FileExtension table.

#include <cstdint>
#include <set>
#include <span>
#include <string>

#include "families/common/location_declaration.h"
#include "platform/system.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

inline constexpr uint32_t kExtensionProgId = 1;    // id's default value, "." ids only
inline constexpr uint32_t kExtensionDefaultVerb = 2;  // id\shell default value
inline constexpr uint32_t kExtensionVerbCommand = 3;  // id\shell\<verb>\command default

// The values whose writes the live handler reports (codes 94 to 96).
std::span<const WatchedValue> FileExtensionWatches();

// A key the check reads, below the classes root (the machine's "SOFTWARE\Classes",
// the top of a user's classes hive): watched so that a change there re-reads the
// check when no driver reports it.
struct CheckedClassKey {
  const char16_t* key;
  bool subtree;
};
std::span<const CheckedClassKey> FileExtensionCheckedKeys();

// Row KEY whether found unchanged, updated or added; 0 or less when it cannot be
// added. When the value changed and outOldValue is given, it gets the old value.
int32_t ReconcileFileExtension(Ledger::LedgerContext& context, uint32_t type, const std::u16string& userId,
                               const std::u16string& entryId, const std::u16string& verb,
                               const std::u16string& value, std::u16string* outOldValue);
// The periodic check: reads ".exe" and "exefile", removes rows that vanished.
void CheckFileExtensions(Ledger::LedgerContext& context);
// One identifier for the machine and every loaded classes hive.
void CheckFileExtensionEntry(Ledger::LedgerContext& context, const std::u16string& entryId,
                             std::set<int32_t>& foundKeys);
// One identifier in one hive: hive is Platform::kHkeyLocalMachine (userId empty) or
// HKEY_USERS with userId the classes hive's name.
void ReadFileExtension(Ledger::LedgerContext& context, Platform::Handle hive, const std::u16string& userId,
                       const std::u16string& entryId, std::set<int32_t>& foundKeys);

}  // namespace Families
