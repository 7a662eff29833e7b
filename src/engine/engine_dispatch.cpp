// The periodic thread's pass over the queued entries: each entry goes to the part
// of the engine that handles its kind.

#include "engine/engine_handlers.h"
#include "engine/file_event_matcher.h"
#include "engine/load_point_engine.h"
#include "engine/registry_event_matcher.h"
#include "families/common/load_point_catalogue.h"
#include "intake/activity_tracker.h"
#include "intake/brumevale_event.h"
#include "intake/data_collector.h"
#include "intake/process_monitor.h"
#include "intake/registry_entry.h"
#include "ledger/live_batch.h"

using Families::LoadPointTypeOf;
using Families::SystemSettingTypeOf;
using Intake::BrumevaleFileEvent;
using Intake::BrumevaleRegistryEvent;
using Intake::FileEntry;
using Intake::FileExtensionKindOfCode;
using Intake::ProcessEntry;
using Intake::RegistryEntry;
using Intake::SystemLogEntry;
using Intake::ThreadEntry;
using Intake::kEntryFile;
using Intake::kEntryProcess;
using Intake::kEntryRegistry;
using Intake::kEntryThread;
using Intake::kFileDeleted;
using Intake::kFileRenamed;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::LiveBatch;

namespace Engine {

// The pass's events share one live batch (ledger/live_batch.h): a single event
// commits on its own when the pass ends, a burst whenever the batch has held the
// lock for its time bound.
int32_t LoadPointEngine::Dispatch() {
  RunWatcherRescans();
  if (consumer_ == nullptr) return -1;
  int32_t count = 0;
  LiveBatch batch(*this);
  for (SystemLogEntry* entry = consumer_->TakeNextEntry(); entry != nullptr;
       entry = consumer_->TakeNextEntry()) {
    DispatchEntry(*entry);
    batch.EventDone();
    ++count;
  }
  return count;
}

// The bit is cleared before the rescan, not after it: a helper object added while
// the rescan runs then sets it again and gets the next pass's rescan instead of
// waiting for the periodic one. Signals that come while the bit is set merge.
void LoadPointEngine::RunWatcherRescans() {
  for (std::atomic<uint32_t>& word : watcherFlags_) {
    const uint32_t seen = word.fetch_and(~kWatcherChangeSeen) & kWatcherChangeSeen;
    if (seen != 0 && handlers_.scanBrowserHelperObjects) {
      handlers_.scanBrowserHelperObjects(*this, 1, 1);
    }
  }
}

void LoadPointEngine::DispatchEntry(const SystemLogEntry& entry) {
  switch (entry.Kind()) {
    case kEntryProcess: processes_->OnProcessEntry(static_cast<const ProcessEntry&>(entry)); break;
    case kEntryThread: tracker_->OnThreadEntry(static_cast<const ThreadEntry&>(entry)); break;
    case kEntryRegistry: DispatchRegistryEntry(static_cast<const RegistryEntry&>(entry)); break;
    case kEntryFile: DispatchFileEntry(static_cast<const FileEntry&>(entry)); break;
    default: break;
  }
}

void LoadPointEngine::DispatchRegistryEntry(const RegistryEntry& entry) {
  const uint32_t operation = entry.Operation();
  if (operation < kRegistryValueSet || operation > kRegistryKeyDeleted) return;
  std::vector<std::unique_ptr<BrumevaleRegistryEvent>> events;
  if (Match(*registryMatcher_, entry, events) == 0) return;
  for (std::unique_ptr<BrumevaleRegistryEvent>& event : events) {
    DispatchRegistryEvent(*event, entry.FirstId());
    event.reset();
  }
}

void LoadPointEngine::DispatchRegistryEvent(const BrumevaleRegistryEvent& event,
                                            uint64_t processId) {
  const uint32_t code = event.MatcherCode();
  if (LoadPointTypeOf(code) != 0) {
    if (handlers_.loadPointEvent) handlers_.loadPointEvent(*this, event, processId);
  } else if (SystemSettingTypeOf(code) != 0) {
    if (handlers_.settingEvent) handlers_.settingEvent(*this, event, processId);
  } else if (FileExtensionKindOfCode(code) != 0) {
    if (handlers_.fileExtensionEvent) handlers_.fileExtensionEvent(*this, event, processId);
  } else if (code == kDownloadTrackingCode) {
    tracker_->OnDownloadEvent(event);
  }
}

void LoadPointEngine::DispatchFileEntry(const FileEntry& entry) {
  std::unique_ptr<BrumevaleFileEvent> event;
  if (entry.FileOperation() == kFileRenamed) {
    event = fileMatcher_->Match(entry, 1);
    // The old name goes as a removal by the renaming process; the new name, when it
    // is still in a watched folder, is an addition of its own.
    if (std::unique_ptr<BrumevaleFileEvent> old = fileMatcher_->Match(entry, 0);
        old != nullptr && handlers_.folderFileRemoval) {
      handlers_.folderFileRemoval(*this, *old, entry.FirstId());
    }
  } else {
    event = fileMatcher_->Match(entry, 0);
  }
  if (event != nullptr) {
    if (entry.FileOperation() == kFileDeleted) {
      if (handlers_.folderFileRemoval) handlers_.folderFileRemoval(*this, *event, entry.FirstId());
    } else if (handlers_.folderFileEvent) {
      handlers_.folderFileEvent(*this, *event, entry.FirstId());
    }
  }
  tracker_->OnFileEntry(entry);
}

}  // namespace Engine
