#include "families/tasks/task_changes.h"

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/load_point_state.h"

using Database::IndirectionRows;
using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Database::LoadPointStateChange;
using Ledger::ChangeRecord;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReturnStateChange;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindDeleted;

namespace Families {

namespace {

std::optional<IndirectionRows> FindIndirection(LedgerContext& context, int32_t indirectionKey) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr || indirectionKey < 1) return std::nullopt;
  IndirectionRows rows;
  if (database->FindIndirectionEntryByKey(indirectionKey, rows) != 1) return std::nullopt;
  return rows;
}

}  // namespace

std::optional<TaskRow> FindTaskRow(LedgerContext& context, uint32_t type,
                                   const std::u16string& guid) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return std::nullopt;
  LoadPointRows rows;
  if (database->FindLoadPointEntry(static_cast<int32_t>(type), u"", guid, rows) != 1) {
    return std::nullopt;
  }
  return TaskRow{rows.KEY(0), rows.COMMAND_LINE(0), rows.DISPLAY_NAME(0), rows.INDIRECTION_KEY(0)};
}

ChangeRecord NewTaskRecord(int32_t key, uint32_t type, const std::u16string& guid) {
  ChangeRecord record(key);
  record.extendedData->SetLoadPoint(type, guid, u"");
  return record;
}

TaskClass ResolveTaskClass(LedgerContext& context, const TaskDefinition& task, bool wow64) {
  TaskClass resolved;
  ResolveClass(context, task.command, resolved.name, resolved.server, wow64);
  return resolved;
}

TaskClass StoreTaskClass(LedgerContext& context, const TaskDefinition& task, int32_t key,
                         bool wow64) {
  int32_t indirectionKey = 0;
  if (LoadPointDatabase* database = OpenLoadPointDatabase(context)) {
    IndirectionRows rows;
    if (database->FindIndirectionEntry(key, rows) == 1) indirectionKey = rows.KEY(0);
  }
  RefreshIndirection(context, task.command, key, indirectionKey, kTaskClassMatcherCode, wow64);
  return ResolveTaskClass(context, task, wow64);
}

void DropTaskClass(LedgerContext& context, const TaskRow& row) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr || row.indirectionKey < 1) return;
  database->RemoveIndirectionEntry(row.indirectionKey);
  database->UpdateLoadPointEntryIndirectionKey(row.key, 0);
}

std::optional<TaskClass> StoredTaskClass(LedgerContext& context, const TaskRow& row) {
  std::optional<IndirectionRows> rows = FindIndirection(context, row.indirectionKey);
  if (!rows) return std::nullopt;
  return TaskClass{rows->ENTRY_NAME(0), rows->COMMAND_LINE(0)};
}

ChangeRecord RemoveTaskRow(LedgerContext& context, uint32_t type, const std::u16string& guid,
                           const TaskRow& row, const std::u16string& oldValue,
                           const std::u16string& oldName, const TaskDefinition* task) {
  if (LoadPointDatabase* database = OpenLoadPointDatabase(context)) database->DeleteLoadPoint(row.key);
  ChangeRecord record = NewTaskRecord(row.key, type, guid);
  record.kind = kChangeKindDeleted;
  record.extendedData->SetDeleted(oldValue, oldName);
  // A departure from the documented task handlers, whose removal read the same for
  // a task switched off as for one deleted: the row goes as before, and the event
  // is marked disabled (EventOrigin STATE_CHANGE 1).
  if (task != nullptr && task->disabled) {
    record.extendedData->stateChange = LoadPointStateChange::kDisabled;
  }
  return record;
}

void MarkTaskReturn(LedgerContext& context, uint32_t type, const std::u16string& guid,
                    const std::u16string& taskPath, ChangeRecord& record) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr || record.kind != kChangeKindAdded) return;
  // Its removal named it by its path, or by its class for a COM handler.
  record.extendedData->stateChange = ReturnStateChange(
      *database, type, u"", {guid, taskPath, record.extendedData->GetParam(1)});
}

}  // namespace Families
