// A task file written, created or renamed into a tasks folder: every task-cache
// entry that names the file is brought in line with what the file now says.

#include <vector>

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/services/service_scan.h"
#include "families/tasks/task_changes.h"
#include "families/tasks/task_events.h"
#include "intake/brumevale_event.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Intake::BrumevaleFileEvent;
using enum Intake::LoadPointType;
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

// The task path is the file's path below the tasks folder ("\Vendor\Updater").
std::u16string TaskPathOf(const std::u16string& filePath, const std::u16string& folder) {
  if (!VyrUtilities::StartsWith(filePath, folder, false)) return u"";
  return filePath.substr(folder.size());
}

// Usually one GUID names a task path; a path named twice updates both rows.
std::vector<std::u16string> GuidsOfTaskPath(Platform::System& system, bool wow64,
                                            const std::u16string& taskPath) {
  const std::u16string cacheKey = TaskCacheKeyPath(wow64);
  std::vector<std::u16string> subkeys;
  VyrUtilities::EnumerateSubkeys(system, Platform::kHkeyLocalMachine, cacheKey, subkeys);
  std::vector<std::u16string> guids;
  for (const std::u16string& guid : subkeys) {
    std::u16string path;
    if (VyrUtilities::ReadRegistryString(system, Platform::kHkeyLocalMachine,
                                         cacheKey + u"\\" + guid, u"Path", path) &&
        VyrUtilities::EqualsIgnoreCase(path, taskPath)) {
      guids.push_back(guid);
    }
  }
  return guids;
}

struct TaskFileContext {
  LedgerContext& ledger;
  const TaskDefinition& task;
  const std::u16string& taskPath;
  uint32_t type;
  bool wow64;
};

ChangeRecord AddTask(const TaskFileContext& c, const std::u16string& guid) {
  int32_t key = 0;
  ReconcileLoadPoint(c.ledger, c.type, u"", guid, c.task.commandLine, c.taskPath, &key);
  ChangeRecord record = NewTaskRecord(key, c.type, guid);
  if (key < 1) return record;
  record.kind = kChangeKindAdded;
  if (c.task.comHandler) {
    const TaskClass resolved = StoreTaskClass(c.ledger, c.task, key, c.wow64);
    record.extendedData->SetAdded(resolved.server, resolved.name);
  } else {
    record.extendedData->SetAdded(c.task.commandLine, c.taskPath);
  }
  MarkTaskReturn(c.ledger, c.type, guid, c.taskPath, record);
  return record;
}

ChangeRecord ChangeTask(const TaskFileContext& c, const std::u16string& guid, const TaskRow& row) {
  c.ledger.Database()->UpdateLoadPointEntry(row.key, c.task.commandLine);
  ChangeRecord record = NewTaskRecord(row.key, c.type, guid);
  record.kind = kChangeKindChanged;
  if (c.task.comHandler) {
    const TaskClass resolved = StoreTaskClass(c.ledger, c.task, row.key, c.wow64);
    record.extendedData->SetChanged(resolved.server, row.commandLine, u"");
  } else {
    DropTaskClass(c.ledger, row);
    record.extendedData->SetChanged(c.task.commandLine, row.commandLine, u"");
  }
  return record;
}

// A row whose task is now invalid goes; a COM-handler task is remembered by its class.
ChangeRecord RemoveTask(const TaskFileContext& c, const std::u16string& guid, const TaskRow& row) {
  const std::optional<TaskClass> stored = StoredTaskClass(c.ledger, row);
  return stored ? RemoveTaskRow(c.ledger, c.type, guid, row, stored->server, stored->name, &c.task)
                : RemoveTaskRow(c.ledger, c.type, guid, row, row.commandLine, row.displayName,
                                &c.task);
}

}  // namespace

void HandleTaskFileEvent(LedgerContext& ledger, const BrumevaleFileEvent& event,
                         ChangeRecords& changes) {
  if (OpenLoadPointDatabase(ledger) == nullptr) return;
  const bool wow64 = event.MatcherCode() == kTasksFolderWow64Code;
  const std::u16string taskPath = TaskPathOf(event.Path(), TasksFolder(ledger.System(), wow64));
  if (taskPath.empty()) return;
  const std::vector<std::u16string> guids = GuidsOfTaskPath(ledger.System(), wow64, taskPath);
  if (guids.empty()) return;
  TaskDefinition task;
  const bool valid = ParseTaskXml(ledger.System(), task, event.Path()) == 1 && task.enabled &&
                     !task.command.empty();
  const TaskFileContext context{ledger, task, taskPath, wow64 ? kWow64TaskType : kNativeTaskType,
                                wow64};
  auto append = [&changes](ChangeRecord record) {
    if (record.kind != kChangeKindNone) changes.push_back(std::move(record));
  };
  for (const std::u16string& guid : guids) {
    const std::optional<TaskRow> row = FindTaskRow(ledger, context.type, guid);
    if (!row && valid) {
      append(AddTask(context, guid));
    } else if (row && !valid) {
      append(RemoveTask(context, guid, *row));
    } else if (row && !VyrUtilities::EqualsIgnoreCase(row->commandLine, task.commandLine)) {
      append(ChangeTask(context, guid, *row));
    }
  }
}

}  // namespace Families
