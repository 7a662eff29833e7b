#include "families/startup_folders/startup_folder_events.h"

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/services/service_scan.h"
#include "families/startup_folders/startup_folders.h"
#include "families/tasks/task_events.h"
#include "intake/brumevale_event.h"
#include "ledger/change_record.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Intake::BrumevaleFileEvent;
using enum Intake::LoadPointType;
using enum Intake::MatcherCode;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::EventTypeOfChangeKind;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReadProcessFile;
using Ledger::ReconcileLoadPoint;
using Ledger::Reconciled;
using Ledger::RecordChangeEvent;
using Ledger::WriteProcessFile;
using Ledger::kEventLoadPointAdded;
using Ledger::kEventLoadPointChanged;
using Ledger::kEventLoadPointRemoved;

namespace Families {

namespace {

void RecordTaskChanges(LedgerContext& context, const BrumevaleFileEvent& event,
                       uint64_t processId) {
  // Read before the first lookup takes the live batch's lock.
  const auto process = ReadProcessFile(context, processId);
  ChangeRecords changes;
  HandleTaskFileEvent(context, event, changes);
  // One Processes row for the event, made only when there is a change to carry it.
  int32_t processKey = 0;
  for (ChangeRecord& change : changes) {
    const uint32_t eventType = EventTypeOfChangeKind(change.kind);
    if (eventType == 0) continue;
    if (processKey == 0) processKey = WriteProcessFile(context, *process);
    RecordChangeEvent(context, event.TimeText(), change.targetKey, processKey, eventType,
                      change.extendedData.get());
  }
}

// A write to an alternate data stream ("x.lnk:Zone.Identifier", as a browser tags a
// download) changes the file itself; the stream is no load point of its own, and the
// rescan, which lists files, would remove it again.
std::u16string WithoutStream(const std::u16string& path) {
  const size_t name = path.rfind(u'\\');
  const size_t stream = path.find(u':', name == std::u16string::npos ? 0 : name);
  return stream == std::u16string::npos ? path : path.substr(0, stream);
}

// The entry's path as its row held it before this event; empty without a row.
std::u16string StoredPath(LedgerContext& context, uint32_t type, const std::u16string& userId,
                          const std::u16string& name) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  LoadPointRows rows;
  if (database == nullptr ||
      database->FindLoadPointEntry(static_cast<int32_t>(type), userId, name, rows) != 1) {
    return u"";
  }
  return rows.COMMAND_LINE(0);
}

}  // namespace

// A deliberate addition to the plainer folder rule, which records startup files with
// bare change events, a deletion without its process and a rename's old name not at
// all: here every addition, change and removal carries the entry's type, name, user
// and path, as the registry families' events do, and a removal (a deletion, or the
// old name of a rename) names the process that made it. Without that the history
// cannot say what a renamed or deleted shortcut was, nor who took it away. The rows
// themselves stay exactly what a rescan finds.
void HandleFolderFileEvent(LedgerContext& context, const BrumevaleFileEvent& event,
                           uint64_t processId) {
  const uint32_t code = event.MatcherCode();
  if (code == kTasksFolderCode || code == kTasksFolderWow64Code) {
    RecordTaskChanges(context, event, processId);
    return;
  }
  const std::u16string path = WithoutStream(event.Path());
  // Read before the first lookup takes the live batch's lock.
  const auto process = ReadProcessFile(context, processId);
  const std::u16string name = path.substr(path.rfind(u'\\') + 1);
  const uint32_t type = LoadPointTypeOf(code);
  const std::u16string& userId = event.MatcherText();
  const std::u16string oldPath = StoredPath(context, type, userId, name);
  int32_t key = 0;
  const Reconciled result = ReconcileLoadPoint(context, type, userId, name, path, u"", &key);
  if (result == Reconciled::kUnchanged || key < 1) return;
  LoadPointExtEventData data;
  if (result == Reconciled::kAdded) {
    data.SetAdded(path, u"");
  } else {
    data.SetChanged(path, oldPath, u"");
  }
  data.SetLoadPoint(type, name, userId);
  const int32_t processKey = WriteProcessFile(context, *process);
  RecordChangeEvent(context, event.TimeText(), key, processKey,
                    result == Reconciled::kAdded ? kEventLoadPointAdded : kEventLoadPointChanged, &data);
}

int32_t HandleFolderFileRemoval(LedgerContext& context, const BrumevaleFileEvent& event,
                                uint64_t processId) {
  const uint32_t type = LoadPointTypeOf(event.MatcherCode());
  // A task row is named by the task's identifier, which a task file may carry too.
  if (type != kCommonStartupType && type != kUserStartupType) return 0;
  // Read before the removal's lookup takes the live batch's lock.
  const auto process = ReadProcessFile(context, processId);
  LoadPointRows removed;
  if (RemoveFolderLoadPoint(context, type, event.MatcherText(), event.GetFileName(), removed) != 1) {
    return 0;
  }
  // The removal is recorded with the acting process and what the row held: a
  // deliberate addition, as for HandleFolderFileEvent above.
  LoadPointExtEventData data;
  data.SetDeleted(removed.COMMAND_LINE(0), u"");
  data.SetLoadPoint(type, removed.ENTRY_NAME(0), removed.USER_ID(0));
  const int32_t processKey = WriteProcessFile(context, *process);
  RecordChangeEvent(context, event.TimeText(), removed.KEY(0), processKey, kEventLoadPointRemoved,
                    &data);
  return 1;
}

}  // namespace Families
