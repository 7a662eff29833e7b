// The re-read of a class key followed for the load points that name the class.
// With the driver, a change to the class's server comes as an event on its watch,
// and the live handler keeps the load point's Indirection row current. Without it
// the class key's notification re-reads the class, and each load point naming it
// gets what that handler would have written: the Indirection row follows the class
// (a new server, a name, a server taken away, the class removed), and each
// difference is the load point's change event, with no process and its origin.

#include <string>

#include "database/load_point_database.h"
#include "engine/load_point_engine.h"
#include "engine/notification_units.h"
#include "families/common/class_indirection.h"
#include "families/common/class_server_rows.h"
#include "ledger/change_record.h"
#include "platform/scoped_handle.h"
#include "util/text_routines.h"

using Database::IndirectionRows;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Database::LoadPointStateChange;
using Families::ClassServerRow;
using Families::ClearClassServerRow;
using Families::RemoveClassServerRow;
using Families::ResolveClass;
using Families::SetClassServerRow;
using Ledger::EventTypeOfChangeKind;
using Ledger::LoadPointExtEventData;
using Ledger::kChangeKindNone;

namespace Engine {

namespace {

struct ClassFound {
  bool exists = false;
  std::u16string name;
  std::u16string server;  // empty: no server
};

ClassFound ReadClass(LoadPointEngine& engine, const ReReadUnit& unit) {
  ClassFound found;
  Platform::Registry& registry = engine.System().Registry();
  const std::u16string key = (unit.wow64 ? u"Wow6432Node\\CLSID\\" : u"CLSID\\") + unit.owner;
  Platform::ScopedKey classKey;
  found.exists = registry.OpenKey(Platform::kHkeyClassesRoot, key, Platform::kKeyRead,
                                  classKey.Receive(registry)) == Platform::kErrorSuccess;
  if (found.exists) ResolveClass(engine, unit.owner, found.name, found.server, unit.wow64);
  return found;
}

// What the class is now against the load point's Indirection row: the row brought
// in line by the class watch's own rules, and the kind of change, with the texts of
// its ExtendedEvent. A read, unlike a watch event, sees the state rather than the
// step, so a row that already says what is read is left alone.
uint32_t Reconcile(LoadPointDatabase& database, int32_t loadPointKey, int32_t indirectionKey,
                   const ClassFound& found, LoadPointExtEventData& data) {
  IndirectionRows rows;
  const bool has = indirectionKey > 0 && database.FindIndirectionEntryByKey(indirectionKey, rows) == 1;
  ClassServerRow current{};
  if (has) current = {rows.KEY(0), rows.ENTRY_NAME(0), rows.COMMAND_LINE(0)};
  if (!found.exists) return has ? RemoveClassServerRow(database, loadPointKey, current, data) : kChangeKindNone;
  if (found.server.empty()) {
    return has && !current.commandLine.empty() ? ClearClassServerRow(database, current, data) : kChangeKindNone;
  }
  return SetClassServerRow(database, loadPointKey, has ? &current : nullptr, found.name, found.server, data);
}

// Inside the re-read's transaction, so the event commits with the row it describes.
void WriteEvent(LoadPointEngine& engine, LoadPointDatabase& database, int32_t loadPointKey,
                uint32_t kind, LoadPointExtEventData& data) {
  const int32_t eventKey = database.AddChangeEventEntry(u"", loadPointKey, 0,
                                                        static_cast<int32_t>(EventTypeOfChangeKind(kind)));
  if (eventKey <= 0) return;
  database.UpdateLoadPointEntry(loadPointKey, eventKey);
  data.changeEventKey = eventKey;
  data.SetProcessKey(0);
  database.AddExtendedEventEntry(data);
  database.AddEventOriginEntry(eventKey, engine.ScanState().findingOrigin, LoadPointStateChange::kNone);
}

}  // namespace

void ReReadClassServer(LoadPointEngine& engine, const ReReadUnit& unit) {
  LoadPointDatabase* database = engine.Database();
  if (database == nullptr || !database->IsOpen()) return;
  const ClassFound found = ReadClass(engine, unit);
  for (int32_t loadPointKey : unit.loadPointKeys) {
    LoadPointRows row;
    // A load point removed since its class was first followed names it no more.
    if (database->FindLoadPointEntry(loadPointKey, row) != 1) continue;
    LoadPointExtEventData data;
    data.SetParam(0, VyrUtilities::IntToText(static_cast<uint32_t>(row.LP_TYPE(0)), 10));
    data.SetParam(2, row.USER_ID(0));
    const uint32_t kind = Reconcile(*database, loadPointKey, row.INDIRECTION_KEY(0), found, data);
    if (kind != kChangeKindNone) WriteEvent(engine, *database, loadPointKey, kind, data);
  }
}

}  // namespace Engine
