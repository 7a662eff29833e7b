// The server of a COM class named by a load point: a watch on the class's
// InprocServer32 key carries the load point's key, and its events keep the load
// point's Indirection row current. The change events describe the load point.

#include <string>

#include "database/load_point_database.h"
#include "families/common/class_server_rows.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "intake/brumevale_event.h"
#include "ledger/ledger_context.h"
#include "util/text_routines.h"

using Database::IndirectionRows;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleRegistryEvent;
using Intake::RegistryKeyPath;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::OpenLoadPointDatabase;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindDeleted;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

constexpr char16_t kServerKeyName[] = u"InprocServer32";

void ServerGone(LoadPointDatabase& database, const BrumevaleRegistryEvent& event,
                int32_t loadPointKey, const ClassServerRow& current, ChangeRecord& record) {
  const RegistryKeyPath& path = event.KeyPath();
  const bool serverKeyOnly =
      event.Operation() == kRegistryValueDeleted ||
      (path.ComponentCount() > 0 &&
       VyrUtilities::EqualsIgnoreCase(path.Component(path.ComponentCount() - 1), kServerKeyName));
  record.kind = serverKeyOnly ? ClearClassServerRow(database, current, *record.extendedData)
                              : RemoveClassServerRow(database, loadPointKey, current, *record.extendedData);
}

}  // namespace

uint32_t SetClassServerRow(LoadPointDatabase& database, int32_t loadPointKey, const ClassServerRow* current,
                           const std::u16string& name, const std::u16string& server,
                           LoadPointExtEventData& data) {
  if (current == nullptr) {
    database.AddIndirectionEntry(loadPointKey, name, server);
    data.SetChanged(server, u"", name);
    return kChangeKindAdded;
  }
  const bool serverDiffers = !VyrUtilities::EqualsIgnoreCase(current->commandLine, server);
  if (!serverDiffers && VyrUtilities::EqualsIgnoreCase(current->name, name)) return kChangeKindNone;
  database.UpdateIndirectionEntry(current->key, name, server);
  if (serverDiffers) {
    data.SetChanged(server, current->commandLine, current->name);
  } else {
    data.SetNameChanged(name, current->name);
  }
  return kChangeKindChanged;
}

uint32_t ClearClassServerRow(LoadPointDatabase& database, const ClassServerRow& current,
                             LoadPointExtEventData& data) {
  database.UpdateIndirectionEntryCommandLine(current.key, u"");
  data.SetChanged(u"", current.commandLine, current.name);
  return kChangeKindChanged;
}

uint32_t RemoveClassServerRow(LoadPointDatabase& database, int32_t loadPointKey, const ClassServerRow& current,
                              LoadPointExtEventData& data) {
  database.RemoveIndirectionEntry(current.key);
  database.UpdateLoadPointEntryIndirectionKey(loadPointKey, 0);
  data.SetDeleted(current.commandLine, current.name);
  return kChangeKindDeleted;
}

void HandleClassWatchEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                           ChangeRecords& records) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  const int32_t loadPointKey = event.ExtraNumber();
  LoadPointRows row;
  if (loadPointKey < 1 || database->FindLoadPointEntry(loadPointKey, row) != 1) return;
  ChangeRecord record(loadPointKey);
  record.extendedData->SetParam(0, VyrUtilities::IntToText(LoadPointTypeOf(event.MatcherCode()), 10));
  record.extendedData->SetParam(2, LoadPointUserId(event));
  IndirectionRows rows;
  const int32_t indirectionKey = row.INDIRECTION_KEY(0);
  const bool hasIndirection =
      indirectionKey > 0 && database->FindIndirectionEntryByKey(indirectionKey, rows) == 1;
  ClassServerRow current{};
  if (hasIndirection) current = {rows.KEY(0), rows.ENTRY_NAME(0), rows.COMMAND_LINE(0)};
  if (event.Operation() == kRegistryValueSet) {
    record.kind = SetClassServerRow(*database, loadPointKey, hasIndirection ? &current : nullptr,
                                    LoadPointEntryName(context.System(), event), event.GetValueText(0),
                                    *record.extendedData);
  } else if (hasIndirection) {
    ServerGone(*database, event, loadPointKey, current, record);
  }
  if (record.kind != kChangeKindNone) records.push_back(std::move(record));
}

}  // namespace Families
