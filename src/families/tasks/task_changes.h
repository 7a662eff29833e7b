#pragma once
// What the two live task handlers share: reading a task's row, following the COM
// class of a task whose action is a COM handler, and removing a task's row.

#include <cstdint>
#include <optional>
#include <string>

#include "families/tasks/task_scan.h"
#include "ledger/change_record.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

struct TaskRow {
  int32_t key = 0;
  std::u16string commandLine;
  std::u16string displayName;  // the task path
  int32_t indirectionKey = 0;
};

// The row of (type, "", guid), or nothing.
std::optional<TaskRow> FindTaskRow(Ledger::LedgerContext& context, uint32_t type,
                                   const std::u16string& guid);

// A record for the row with PARAM_0 type, PARAM_1 guid and an empty user.
Ledger::ChangeRecord NewTaskRecord(int32_t key, uint32_t type, const std::u16string& guid);

struct TaskClass {
  std::u16string name;    // the class's friendly name
  std::u16string server;  // its in-process server
};

// Resolves the class of a COM-handler task without storing anything.
TaskClass ResolveTaskClass(Ledger::LedgerContext& context, const TaskDefinition& task, bool wow64);
// Watches the class's server key for the row and writes its Indirection row (added
// when the row has none). Returns what was stored.
TaskClass StoreTaskClass(Ledger::LedgerContext& context, const TaskDefinition& task, int32_t key,
                         bool wow64);
// A task that no longer runs a COM handler keeps no Indirection row.
void DropTaskClass(Ledger::LedgerContext& context, const TaskRow& row);

// The class as the row's Indirection row holds it; nothing when it has none.
std::optional<TaskClass> StoredTaskClass(Ledger::LedgerContext& context, const TaskRow& row);

// Removes the row with its Indirection and notification rows; the record (kind 7)
// carries oldValue and oldName, and is marked disabled when task says the task was
// switched off (null: not known).
Ledger::ChangeRecord RemoveTaskRow(Ledger::LedgerContext& context, uint32_t type, const std::u16string& guid,
                           const TaskRow& row, const std::u16string& oldValue,
                           const std::u16string& oldName, const TaskDefinition* task);

// Marks an added task's record enabled again when the task's last removal was a
// disable.
void MarkTaskReturn(Ledger::LedgerContext& context, uint32_t type, const std::u16string& guid,
                    const std::u16string& taskPath, Ledger::ChangeRecord& record);

}  // namespace Families
