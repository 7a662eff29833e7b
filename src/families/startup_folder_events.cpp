#include "families/startup_folder_events.h"

#include "families/class_indirection.h"
#include "families/service_scan.h"
#include "families/task_events.h"
#include "intake/brumevale_event.h"
#include "ledger/change_record.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_catalogue.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"

namespace {

void RecordTaskChanges(LedgerContext& context, const BrumevaleFileEvent& event,
                       uint64_t processId) {
  ChangeRecords changes;
  HandleTaskFileEvent(context, event, changes);
  // One Processes row for the event, made only when there is a change to carry it.
  int32_t processKey = 0;
  for (ChangeRecord& change : changes) {
    const uint32_t eventType = EventTypeOfChangeKind(change.kind);
    if (eventType == 0) continue;
    if (processKey == 0) processKey = AddProcessFile(context, processId);
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

}  // namespace

int32_t HandleFolderFileEvent(LedgerContext& context, const BrumevaleFileEvent& event,
                              uint64_t processId) {
  const uint32_t code = event.MatcherCode();
  if (code == kTasksFolderCode || code == kTasksFolderWow64Code) {
    RecordTaskChanges(context, event, processId);
    return 1;
  }
  const std::u16string path = WithoutStream(event.Path());
  // Read before the first write takes the live batch's lock.
  const ProcessFile process = ReadProcessFile(context, processId);
  int32_t key = 0;
  const int32_t result = ReconcileLoadPoint(context, LoadPointTypeOf(code), event.MatcherText(),
                                            path.substr(path.rfind(u'\\') + 1), path, u"", &key);
  if (result == 1 || key < 1) return 1;
  const int32_t processKey = WriteProcessFile(context, process);
  RecordChangeEvent(context, event.TimeText(), key, processKey,
                    result == 5 ? kEventLoadPointAdded : kEventLoadPointChanged, nullptr);
  return 1;
}
