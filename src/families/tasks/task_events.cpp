// A task-cache entry's "Path" set or deleted: the task it names is read from the
// tasks folder and its row added, changed or removed.

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/services/service_scan.h"
#include "families/tasks/task_changes.h"
#include "families/tasks/task_events.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReconcileLoadPoint;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

struct TaskCacheContext {
  LedgerContext& ledger;
  uint32_t type;
  std::u16string guid;
  bool wow64;
};

ChangeRecord AddTask(const TaskCacheContext& c, const TaskDefinition& task,
                     const std::u16string& taskPath) {
  int32_t key = 0;
  ReconcileLoadPoint(c.ledger, c.type, u"", c.guid, task.commandLine, taskPath, &key);
  ChangeRecord record = NewTaskRecord(key, c.type, c.guid);
  if (key < 1) return record;
  record.kind = kChangeKindAdded;
  if (task.comHandler) {
    const TaskClass resolved = StoreTaskClass(c.ledger, task, key, c.wow64);
    record.extendedData->SetAdded(resolved.server, resolved.name);
  } else {
    record.extendedData->SetAdded(task.commandLine, taskPath);
  }
  MarkTaskReturn(c.ledger, c.type, c.guid, taskPath, record);
  return record;
}

// A COM-handler task whose command line (always empty) did not change but whose
// class now resolves to another server is a changed task: what runs is the server,
// so the change is recorded as the row's change with the old server from the
// Indirection row, just as a changed command line would be.
ChangeRecord ChangeComTask(const TaskCacheContext& c, const TaskDefinition& task,
                           const TaskRow& row, bool commandChanged) {
  ChangeRecord record = NewTaskRecord(row.key, c.type, c.guid);
  const std::optional<TaskClass> stored = StoredTaskClass(c.ledger, row);
  const TaskClass now = ResolveTaskClass(c.ledger, task, c.wow64);
  if (!commandChanged && stored && VyrUtilities::EqualsIgnoreCase(stored->server, now.server)) {
    return record;
  }
  const TaskClass resolved = StoreTaskClass(c.ledger, task, row.key, c.wow64);
  record.kind = kChangeKindChanged;
  const std::u16string old =
      commandChanged ? row.commandLine : (stored ? stored->server : std::u16string());
  record.extendedData->SetChanged(resolved.server, old, resolved.name);
  return record;
}

ChangeRecord ChangeTask(const TaskCacheContext& c, const TaskDefinition& task,
                        const TaskRow& row, const std::u16string& taskPath) {
  LoadPointDatabase& database = *c.ledger.Database();
  const bool commandChanged = !VyrUtilities::EqualsIgnoreCase(row.commandLine, task.commandLine);
  if (commandChanged) database.UpdateLoadPointEntry(row.key, task.commandLine);
  // The rescan reads the task path into DISPLAY_NAME; kept equal here so that the
  // next rescan finds nothing to change.
  const bool renamed = !VyrUtilities::EqualsIgnoreCase(row.displayName, taskPath);
  if (renamed) database.UpdateLoadPointDisplayName(row.key, taskPath);
  if (task.comHandler) return ChangeComTask(c, task, row, commandChanged);
  ChangeRecord record = NewTaskRecord(row.key, c.type, c.guid);
  if (commandChanged) {
    DropTaskClass(c.ledger, row);
    record.kind = kChangeKindChanged;
    record.extendedData->SetChanged(task.commandLine, row.commandLine, row.displayName);
  } else if (renamed) {
    record.kind = kChangeKindChanged;
    record.extendedData->SetNameChanged(taskPath, row.displayName);
  }
  return record;
}

ChangeRecord SetTaskPath(const TaskCacheContext& c, const std::optional<TaskRow>& row,
                         const std::u16string& taskPath) {
  TaskDefinition task;
  const bool valid = ParseTaskXml(c.ledger.System(), task,
                                  TasksFolder(c.ledger.System(), c.wow64) + taskPath) == 1 &&
                     task.enabled;
  if (valid && !row) return AddTask(c, task, taskPath);
  if (valid) return ChangeTask(c, task, *row, taskPath);
  if (row) {
    return RemoveTaskRow(c.ledger, c.type, c.guid, *row, row->commandLine, row->displayName, &task);
  }
  return NewTaskRecord(0, c.type, c.guid);
}

}  // namespace

void HandleTaskCacheEvent(LedgerContext& ledger, const BrumevaleRegistryEvent& event,
                          ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(ledger, event, records);
    return;
  }
  if (event.ExtraNumber() >= 1) {
    HandleClassWatchEvent(ledger, event, records);
    return;
  }
  LoadPointDatabase* database = OpenLoadPointDatabase(ledger);
  if (database == nullptr) return;
  const TaskCacheContext context{ledger, LoadPointTypeOf(event.MatcherCode()),
                                 LoadPointEntryName(ledger.System(), event),
                                 event.MatcherCode() == kTaskCacheWow64Code};
  const std::optional<TaskRow> row = FindTaskRow(ledger, context.type, context.guid);
  ChangeRecord record =
      event.Operation() == kRegistryValueSet
          ? SetTaskPath(context, row, event.GetValueText(0))
          : (row ? RemoveTaskRow(ledger, context.type, context.guid, *row, row->commandLine,
                                 row->displayName, nullptr)
                 : NewTaskRecord(0, context.type, context.guid));
  if (record.kind != kChangeKindNone && record.targetKey >= 1) records.push_back(std::move(record));
}

}  // namespace Families
