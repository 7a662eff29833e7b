#include "families/file_extensions/file_extension_events.h"

#include <optional>

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/file_extensions/file_extensions.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/change_record.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"
#include "util/vyr_log.h"

using Database::FileExtensionRows;
using Database::LoadPointDatabase;
using Intake::BrumevaleRegistryEvent;
using Intake::FileExtensionKindOfCode;
using Intake::RegistryKeyPath;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using enum Intake::RegistryRootKind;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::OpenLoadPointDatabase;
using Ledger::ProcessFile;
using Ledger::ReadProcessFile;
using Ledger::RecordChangeEvent;
using Ledger::WriteProcessFile;
using Ledger::kEventFileExtensionDeleted;
using Ledger::kEventFileExtensionSet;

namespace Families {

namespace {

struct ExtensionLocation {
  std::u16string userId;  // empty, or the classes hive's name (<SID>_Classes)
  std::u16string entryId;
  std::u16string verb;
};

// The identifier and verb named by the event's key path: below "SOFTWARE\Classes"
// for the machine, at the top of a classes hive for a user; a verb command lies at
// id\shell\<verb>\command. Nothing for any other root or a path too short for it.
std::optional<ExtensionLocation> LocateExtension(const BrumevaleRegistryEvent& event) {
  const RegistryKeyPath& path = event.KeyPath();
  size_t first = 0;
  ExtensionLocation location;
  if (path.Root() == kRootMachine) {
    first = 2;
  } else if (path.Root() == kRootUserClasses) {
    location.userId = path.Sid() + u"_Classes";
  } else {
    return std::nullopt;
  }
  const bool hasVerb = event.MatcherCode() == kVerbCommandCode;
  if (path.ComponentCount() <= first + (hasVerb ? 2 : 0)) return std::nullopt;
  location.entryId = path.Component(first);
  if (hasVerb) location.verb = path.Component(first + 2);
  return location;
}

// The key whose default value the row holds, below the classes root: ".exe",
// "exefile\shell" or "exefile\shell\<verb>\command". It names the row whole, so
// PARAM_1 carries it and PARAM_0 says 0: a file-extension kind is no LP_TYPE, and
// the column stays a number for whoever reads it as one.
std::u16string ExtensionKeyText(uint32_t kind, const ExtensionLocation& location) {
  if (kind == kExtensionProgId) return location.entryId;
  if (kind == kExtensionDefaultVerb) return location.entryId + u"\\shell";
  return location.entryId + u"\\shell\\" + location.verb + u"\\command";
}

// A departure from the documented events 8 and 14, which carried no ExtendedEvent
// row: the FileExtension row keeps only the last value, so a takeover of the .exe
// command that was later restored left no trace of what it ran. Each event now
// carries its own values, as a load point's does: PARAM_0 0, PARAM_1 the key
// (above), PARAM_2 the user, PARAM_3 the process, PARAM_4 the value written (for a
// deletion the value deleted), PARAM_5 the value it replaced (equal to PARAM_4 when
// the same value was written again). EX_EVENT_TYPE 1 for a value the row did not have, 2
// for one written over a stored value, 4 for a deletion.
LoadPointExtEventData ExtensionEventData(uint32_t kind, const ExtensionLocation& location) {
  LoadPointExtEventData data;
  data.SetParam(0, u"0");
  data.SetParam(1, ExtensionKeyText(kind, location));
  data.SetParam(2, location.userId);
  return data;
}

void RecordExtensionEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                          int32_t rowKey, const ProcessFile& process, uint32_t eventType,
                          LoadPointExtEventData& data) {
  const int32_t processKey = WriteProcessFile(context, process);
  RecordChangeEvent(context, event.TimeText(), rowKey, processKey, eventType, &data);
}

void SetExtensionValue(LedgerContext& context, const BrumevaleRegistryEvent& event, uint32_t kind,
                       const ExtensionLocation& location, const ProcessFile& process) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  FileExtensionRows rows;
  database->FindFileExtensionEntry(static_cast<int32_t>(kind), location.userId, location.entryId,
                                   location.verb, rows);
  const std::u16string& value = event.GetValueText(0);
  const int32_t key = ReconcileFileExtension(context, kind, location.userId, location.entryId,
                                             location.verb, value, nullptr);
  if (key <= 0) return;
  LoadPointExtEventData data = ExtensionEventData(kind, location);
  if (rows.HasRows()) {
    data.SetChanged(value, rows.ENTRY_VALUE(0), u"");
  } else {
    data.SetAdded(value, u"");
  }
  RecordExtensionEvent(context, event, key, process, kEventFileExtensionSet, data);
}

void RemoveExtensionRow(LedgerContext& context, const BrumevaleRegistryEvent& event,
                        uint32_t kind, const ExtensionLocation& location, const ProcessFile& process) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return;
  FileExtensionRows rows;
  database->FindFileExtensionEntry(static_cast<int32_t>(kind), location.userId, location.entryId,
                                   location.verb, rows);
  if (!rows.HasRows()) return;
  const int32_t key = rows.KEY(0);
  if (database->RemoveFileExtensionEntry(key) > 0) {
    LoadPointExtEventData data = ExtensionEventData(kind, location);
    data.SetDeleted(rows.ENTRY_VALUE(0), u"");
    RecordExtensionEvent(context, event, key, process, kEventFileExtensionDeleted, data);
  }
}

}  // namespace

void HandleFileExtensionEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                              uint64_t processId) {
  const uint32_t kind = FileExtensionKindOfCode(event.MatcherCode());
  if (kind == 0) return;
  const std::optional<ExtensionLocation> location = LocateExtension(event);
  if (!location) {
    context.Log().Write(u"[ERROR] Malformed file extension event: " + event.KeyPath().ToText(true),
                       1, 1, 0);
    return;
  }
  // Read before the first lookup takes the live batch's lock.
  const auto process = ReadProcessFile(context, processId);
  if (event.Operation() == kRegistryValueSet) {
    SetExtensionValue(context, event, kind, *location, *process);
  } else if (event.Operation() == kRegistryValueDeleted) {
    RemoveExtensionRow(context, event, kind, *location, *process);
  }
}

}  // namespace Families
