#include "engine/check_findings.h"

#include <set>

#include "database/load_point_database.h"
#include "engine/load_point_engine.h"
#include "families/file_extensions/file_extensions.h"
#include "families/settings/system_settings.h"
#include "fileinfo/user_identity.h"
#include "ledger/change_record.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::ChangeOrigin;
using Database::FileExtensionRows;
using Database::LoadPointDatabase;
using Database::LoadPointStateChange;
using Database::SystemSettingRows;
using Families::CheckFileExtensions;
using Families::CheckMachineSettings;
using Families::CheckUserSettings;
using Families::SettingScope;
using Families::SystemSettingDefinition;
using Families::SystemSettingTable;
using Families::kExtensionDefaultVerb;
using Families::kExtensionProgId;
using FileInfo::IsUserClassesHive;
using FileInfo::IsUserSid;
using Ledger::LoadPointExtEventData;
using Ledger::kEventFileExtensionDeleted;
using Ledger::kEventFileExtensionSet;
using Ledger::kEventSystemSettingChanged;

namespace Engine {

namespace {

void ReadSettings(LoadPointDatabase& database, const std::set<std::u16string>& users, CheckRows& rows) {
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    const auto read = [&](const std::u16string& userId) {
      SystemSettingRows found;
      database.FindSystemSetting(static_cast<int32_t>(setting.type), userId, found);
      if (found.HasRows()) {
        rows.settings[{found.TYPE(0), userId}] = {found.KEY(0), found.CURRENT_VALUE(0)};
      }
    };
    if (setting.scope == SettingScope::kMachine) {
      read(u"");
    } else {
      for (const std::u16string& sid : users) read(sid);
    }
  }
}

void ReadExtensions(LoadPointDatabase& database, CheckRows& rows) {
  std::set<int32_t> keys;
  database.RequestKeysFromTable(keys, u"FileExtension");
  for (int32_t key : keys) {
    FileExtensionRows found;
    if (database.FindFileExtensionEntry(key, found) != 1 || !found.HasRows()) continue;
    rows.extensions[{found.TYPE(0), found.USER_ID(0), found.ENTRY_ID(0), found.VERB(0)}] = {
        key, found.ENTRY_VALUE(0)};
  }
}

int32_t AddEvent(LoadPointDatabase& database, int32_t rowKey, uint32_t eventType, ChangeOrigin origin) {
  const int32_t eventKey = database.AddChangeEventEntry(u"", rowKey, 0, static_cast<int32_t>(eventType));
  if (eventKey > 0) database.AddEventOriginEntry(eventKey, origin, LoadPointStateChange::kNone);
  return eventKey;
}

// A setting's event carries no extended data, as the live one.
void NameSettings(LoadPointDatabase& database, const CheckRows& before, const CheckRows& after,
                  ChangeOrigin origin) {
  for (const auto& [identity, row] : after.settings) {
    const auto found = before.settings.find(identity);
    // A row added for a setting that is not set (a user seen for the first time) is
    // no change.
    const bool changed = found == before.settings.end()
                             ? !row.value.empty()
                             : !VyrUtilities::EqualsIgnoreCase(found->second.value, row.value);
    if (!changed) continue;
    const int32_t eventKey = AddEvent(database, row.key, kEventSystemSettingChanged, origin);
    if (eventKey > 0) database.UpdateSystemSettingEntry(row.key, eventKey);
  }
}

// The ExtendedEvent of the live handler: PARAM_0 0, PARAM_1 the key whose default
// value the row holds, PARAM_2 the classes hive, PARAM_4 and PARAM_5 the values.
void WriteExtensionData(LoadPointDatabase& database, int32_t eventKey, const auto& identity,
                        LoadPointExtEventData& data) {
  const auto& [type, userId, entryId, verb] = identity;
  const std::u16string keyText = type == static_cast<int32_t>(kExtensionProgId) ? entryId
                                 : type == static_cast<int32_t>(kExtensionDefaultVerb)
                                     ? entryId + u"\\shell"
                                     : entryId + u"\\shell\\" + verb + u"\\command";
  data.SetParam(0, u"0");
  data.SetParam(1, keyText);
  data.SetParam(2, userId);
  data.SetProcessKey(0);
  data.changeEventKey = eventKey;
  database.AddExtendedEventEntry(data);
}

void NameExtensions(LoadPointDatabase& database, const CheckRows& before, const CheckRows& after,
                    ChangeOrigin origin) {
  for (const auto& [identity, row] : after.extensions) {
    const auto found = before.extensions.find(identity);
    LoadPointExtEventData data;
    if (found == before.extensions.end()) {
      data.SetAdded(row.value, u"");
    } else if (!VyrUtilities::EqualsIgnoreCase(found->second.value, row.value)) {
      data.SetChanged(row.value, found->second.value, u"");
    } else {
      continue;
    }
    const int32_t eventKey = AddEvent(database, row.key, kEventFileExtensionSet, origin);
    if (eventKey <= 0) continue;
    database.UpdateFileExtensionEntry(row.key, eventKey);
    WriteExtensionData(database, eventKey, identity, data);
  }
  for (const auto& [identity, row] : before.extensions) {
    if (after.extensions.count(identity) != 0) continue;
    LoadPointExtEventData data;
    data.SetDeleted(row.value, u"");
    const int32_t eventKey = AddEvent(database, row.key, kEventFileExtensionDeleted, origin);
    if (eventKey > 0) WriteExtensionData(database, eventKey, identity, data);
  }
}

}  // namespace

CheckRows ReadCheckRows(LoadPointEngine& engine) {
  CheckRows rows;
  LoadPointDatabase* database = engine.Database();
  if (database == nullptr || !database->IsOpen()) return rows;
  ReadSettings(*database, engine.UserHives(), rows);
  ReadExtensions(*database, rows);
  return rows;
}

void RecordCheckFindings(LoadPointEngine& engine, const CheckRows& before, ChangeOrigin origin) {
  LoadPointDatabase* database = engine.Database();
  if (database == nullptr || !database->IsOpen()) return;
  const CheckRows after = ReadCheckRows(engine);
  // Inside a re-read's pass its transaction holds the events; after a rescan they
  // are a transaction of their own.
  const bool own = engine.ScanState().active != 1;
  if (own) database->BeginTransaction();
  NameSettings(*database, before, after, origin);
  NameExtensions(*database, before, after, origin);
  if (own) database->EndTransaction();
}

namespace {

// The checks read the hives of the users listed by the last rescan; a notification
// from a user who logged on since must find that user's hives listed too.
void ListUserHives(LoadPointEngine& engine) {
  engine.UserHives().clear();
  engine.UserClassesHives().clear();
  for (const std::u16string& name : VyrUtilities::SubkeyNames(engine.System(), Platform::kHkeyUsers)) {
    if (IsUserSid(name)) engine.UserHives().insert(name);
    if (IsUserClassesHive(name)) engine.UserClassesHives().insert(name);
  }
}

}  // namespace

void ReReadChecks(LoadPointEngine& engine) {
  ListUserHives(engine);
  const CheckRows before = ReadCheckRows(engine);
  CheckUserSettings(engine);
  CheckMachineSettings(engine);
  CheckFileExtensions(engine);
  RecordCheckFindings(engine, before, engine.ScanState().findingOrigin);
}

}  // namespace Engine
