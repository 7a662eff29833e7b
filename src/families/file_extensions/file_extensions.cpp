#include "families/file_extensions/file_extensions.h"

#include <vector>

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "fileinfo/user_identity.h"
#include "ledger/ledger_context.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"
#include "ledger/load_point_ledger.h"

using Database::FileExtensionRows;
using Database::LoadPointDatabase;
using FileInfo::FindProfile;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;

namespace Families {

namespace {

// Whoever owns these runs code whenever any program starts: the extension of
// executables, then the program identifier it normally points to.
constexpr const char16_t* kWatchedIdentifiers[] = {u".exe", u"exefile"};

void Found(std::set<int32_t>& foundKeys, int32_t key) {
  if (key > 0) foundKeys.insert(key);
}

// A row that was not found again goes, except for a user who is listed but whose
// classes hive is not loaded now: that user's handlers were simply not readable.
bool KeepUnseenRow(LedgerContext& context, const std::u16string& userId) {
  uint32_t loaded = 1;
  return !userId.empty() && FindProfile(context.Users(), userId, &loaded) && loaded == 0;
}

}  // namespace

int32_t ReconcileFileExtension(LedgerContext& context, uint32_t type, const std::u16string& userId,
                               const std::u16string& entryId, const std::u16string& verb,
                               const std::u16string& value, std::u16string* outOldValue) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return 0;
  FileExtensionRows rows;
  database->FindFileExtensionEntry(static_cast<int32_t>(type), userId, entryId, verb, rows);
  if (rows.HasRows()) {
    std::u16string old = rows.ENTRY_VALUE(0);
    if (!VyrUtilities::EqualsIgnoreCase(old, value) &&
        database->UpdateFileExtensionEntry(rows.KEY(0), value) > 0 && outOldValue != nullptr) {
      *outOldValue = std::move(old);
    }
    return rows.KEY(0);
  }
  int32_t key = database->AddFileExtenstionEntry(static_cast<int32_t>(type), userId, entryId, value,
                                                 verb);
  return key > 0 ? key : 0;
}

void ReadFileExtension(LedgerContext& context, Platform::Handle hive, const std::u16string& userId,
                       const std::u16string& entryId, std::set<int32_t>& foundKeys) {
  Platform::System& system = context.System();
  std::u16string base;
  if (hive == Platform::kHkeyLocalMachine) {
    base = u"Software\\Classes\\" + entryId;
  } else {
    if (userId.empty()) return;
    base = userId + u"\\" + entryId;
  }
  std::u16string value;
  if (VyrUtilities::StartsWith(entryId, u".", true) &&
      VyrUtilities::ReadRegistryString(system, hive, base, u"", value)) {
    Found(foundKeys, ReconcileFileExtension(context, kExtensionProgId, userId, entryId, u"", value,
                                            nullptr));
  }
  const std::u16string shell = base + u"\\shell";
  if (VyrUtilities::ReadRegistryString(system, hive, shell, u"", value)) {
    Found(foundKeys, ReconcileFileExtension(context, kExtensionDefaultVerb, userId, entryId, u"",
                                            value, nullptr));
  }
  std::vector<std::u16string> verbs;
  VyrUtilities::EnumerateSubkeys(system, hive, shell, verbs);
  for (const std::u16string& verb : verbs) {
    if (VyrUtilities::ReadRegistryString(system, hive, shell + u"\\" + verb + u"\\command", u"",
                                         value)) {
      Found(foundKeys, ReconcileFileExtension(context, kExtensionVerbCommand, userId, entryId, verb,
                                              value, nullptr));
    }
  }
}

void CheckFileExtensionEntry(LedgerContext& context, const std::u16string& entryId,
                             std::set<int32_t>& foundKeys) {
  ReadFileExtension(context, Platform::kHkeyLocalMachine, u"", entryId, foundKeys);
  for (const std::u16string& classesHive : context.UserClassesHives()) {
    ReadFileExtension(context, Platform::kHkeyUsers, classesHive, entryId, foundKeys);
  }
}

void CheckFileExtensions(LedgerContext& context) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  std::set<int32_t> storedKeys;
  database->RequestKeysFromTable(storedKeys, u"FileExtension");
  std::set<int32_t> foundKeys;
  for (const char16_t* entryId : kWatchedIdentifiers) {
    CheckFileExtensionEntry(context, entryId, foundKeys);
  }
  for (int32_t key : storedKeys) {
    if (foundKeys.contains(key)) continue;
    FileExtensionRows rows;
    database->FindFileExtensionEntry(key, rows);
    if (rows.HasRows() && KeepUnseenRow(context, rows.USER_ID(0))) continue;
    database->RemoveFileExtensionEntry(key);
  }
}

}  // namespace Families
