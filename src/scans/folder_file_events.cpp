#include "scans/folder_file_events.h"

#include "engine/load_point_engine.h"
#include "ledger/change_record.h"
#include "engine/file_event_matcher.h"
#include "ledger/load_point_catalogue.h"
#include "ledger/process_file.h"
#include "intake/brumevale_event.h"
#include "scans/full_scan.h"
#include "scans/task_events.h"

namespace {

void RecordTaskChanges(LoadPointEngine& engine, const BrumevaleFileEvent& event,
                       uint64_t processId) {
  ChangeRecords changes;
  HandleTaskFileEvent(engine, event, changes);
  // One Processes row for the event, made only when there is a change to carry it.
  int32_t processKey = 0;
  for (ChangeRecord& change : changes) {
    const uint32_t eventType = EventTypeOfChangeKind(change.kind);
    if (eventType == 0) continue;
    if (processKey == 0) processKey = AddProcessFile(engine, processId);
    RecordChangeEvent(engine, event.TimeText(), change.targetKey, processKey, eventType,
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

int32_t HandleFolderFileEvent(LoadPointEngine& engine, const BrumevaleFileEvent& event,
                              uint64_t processId) {
  const uint32_t code = event.MatcherCode();
  if (code == kTasksFolderCode || code == kTasksFolderWow64Code) {
    RecordTaskChanges(engine, event, processId);
    return 1;
  }
  const std::u16string path = WithoutStream(event.Path());
  int32_t key = 0;
  const int32_t result = ReconcileLoadPoint(engine, LoadPointTypeOf(code), event.MatcherText(),
                                            path.substr(path.rfind(u'\\') + 1), path, u"", &key);
  if (result == 1 || key < 1) return 1;
  const int32_t processKey = AddProcessFile(engine, processId);
  RecordChangeEvent(engine, event.TimeText(), key, processKey,
                    result == 5 ? kEventLoadPointAdded : kEventLoadPointChanged, nullptr);
  return 1;
}
