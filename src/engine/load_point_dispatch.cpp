// The load-point place of the engine: one registry event goes to the handler family
// of its location, and every change the family reports becomes a change event of
// the process that made it.

#include <string>

#include "database/load_point_database.h"
#include "ledger/load_point_catalogue.h"
#include "engine/load_point_engine.h"
#include "engine/load_point_handlers.h"
#include "ledger/process_file.h"
#include "intake/brumevale_event.h"
#include "scans/full_scan.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

namespace {

using Handler = void (*)(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&);

struct CodeRange {
  uint32_t first;
  uint32_t last;
  Handler handler;
};

// Locations with a family of their own; every other load-point code is one value.
constexpr CodeRange kFamilies[] = {
    {20, 21, HandleServiceEvent},          {29, 31, HandleServiceEvent},
    {55, 58, HandleActiveSetupEvent},      {59, 62, HandleNameSpaceCatalogEvent},
    {66, 67, HandleProtocolCatalogEvent},  {63, 65, HandleBrowserExtensionEvent},
    {68, 70, HandleNetworkProviderEvent},  {10, 13, HandleListValue},
    {32, 35, HandleListValue},             {38, 38, HandleListValue},
    {71, 71, HandleListValue},             {23, 24, HandleBhoEvent},
    {72, 73, HandleTaskCacheEvent},
};

Handler HandlerOf(const BrumevaleRegistryEvent& event) {
  // A class watch carries the load point's key; its code only says where the load
  // point lives, so it never selects the location's own family.
  if (event.ExtraNumber() > 0) return HandleClassWatchEvent;
  const uint32_t code = event.MatcherCode();
  for (const CodeRange& range : kFamilies) {
    if (code >= range.first && code <= range.last) return range.handler;
  }
  return HandleValueLoadPoint;
}

// Appends a removal of row `index` of rows, naming the row by its own columns.
void AppendRowDeletion(LoadPointDatabase& database, uint32_t type, const LoadPointRows& rows,
                       uint32_t index, ChangeRecords& records) {
  const int32_t key = rows.KEY(index);
  database.DeleteLoadPoint(key);
  ChangeRecord& record = records.emplace_back(key);
  record.kind = kChangeKindDeleted;
  record.extendedData->SetLoadPoint(type, rows.ENTRY_NAME(index), rows.USER_ID(index));
  record.extendedData->SetDeleted(rows.COMMAND_LINE(index), rows.DISPLAY_NAME(index));
}

// Every row of the type, of one user or (anyUser) of all users.
void DeleteRowsOfType(LoadPointDatabase& database, uint32_t type, const std::u16string& userId,
                      bool anyUser, ChangeRecords& records) {
  LoadPointRows rows;
  if (database.RequestLoadPointEntries(static_cast<int32_t>(type), rows) != 1) return;
  for (uint32_t i = 0; i < rows.Count(); ++i) {
    if (anyUser || VyrUtilities::EqualsIgnoreCase(rows.USER_ID(i), userId)) {
      AppendRowDeletion(database, type, rows, i, records);
    }
  }
}

// The key that was deleted is the entry's own key (or below it).
void DeleteNamedEntry(LoadPointDatabase& database, uint32_t type, const std::u16string& userId,
                      const std::u16string& name, ChangeRecords& records) {
  LoadPointRows rows;
  if (database.FindLoadPointEntry(static_cast<int32_t>(type), userId, name, rows) != 1) return;
  const int32_t key = rows.KEY(0);
  database.DeleteLoadPoint(key);
  ChangeRecord& record = records.emplace_back(key);
  record.kind = kChangeKindDeleted;
  record.extendedData->SetDeleted(rows.COMMAND_LINE(0), u"");
  record.extendedData->SetLoadPoint(type, name, userId);
}

// "SYSTEM" itself gone: no control set is left to name, so every row of the type
// goes, and the service log says that this happened.
void DeleteAllControlSetRows(LoadPointEngine& engine, LoadPointDatabase& database, uint32_t type,
                             const BrumevaleRegistryEvent& event, ChangeRecords& records) {
  engine.Log().Write(u"[WARNING] Unexpected root key deletion: ", 0, 1, 1);
  engine.Log().Write(event.KeyPath().ToText(true), 1, 0, 0);
  DeleteRowsOfType(database, type, {}, true, records);
}

}  // namespace

LoadPointDatabase* DatabaseForValueEvent(LoadPointEngine& engine,
                                         const BrumevaleRegistryEvent& event,
                                         ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(engine, event, records);
    return nullptr;
  }
  return OpenLoadPointDatabase(engine);
}

int32_t DispatchLoadPointEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                               uint64_t processId) {
  ChangeRecords records;
  HandlerOf(event)(engine, event, records);
  // Once per event, also when nothing changed: the process took part in it.
  const int32_t processKey = AddProcessFile(engine, processId);
  for (ChangeRecord& record : records) {
    RecordChangeEvent(engine, event.TimeText(), record.targetKey, processKey,
                      EventTypeOfChangeKind(record.kind), record.extendedData.get());
  }
  return 1;
}

void HandleKeyDeletion(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                       ChangeRecords& records) {
  if (event.Operation() != kRegistryKeyDeleted || event.ExtraNumber() > 0) return;
  LoadPointDatabase* database = OpenLoadPointDatabase(engine);
  if (database == nullptr) return;
  const uint32_t code = event.MatcherCode();
  const int32_t depth = LoadPointKeyDepth(code);
  if (depth == kKeyDepthIgnore) return;
  const uint32_t type = LoadPointTypeOf(code);
  const RegistryKeyPath& path = event.KeyPath();
  if (IsControlSetType(type) != 0 && path.ComponentCount() < 2) {
    DeleteAllControlSetRows(engine, *database, type, event, records);
    return;
  }
  const std::u16string userId = LoadPointUserId(event);
  if (depth > 0 && path.ComponentCount() >= static_cast<size_t>(depth)) {
    DeleteNamedEntry(*database, type, userId, path.Component(depth - 1), records);
    return;
  }
  // The location's own key or a key above it: every entry of the type for the user.
  DeleteRowsOfType(*database, type, userId, false, records);
}
