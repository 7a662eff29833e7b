// Which routine serves each place where the engine hands work on. The live-event
// handler families are not built yet: their places drop the event here, and only
// here, until the routine named beside each one takes over.

#include "engine/engine_handlers.h"

#include "engine/load_point_handlers.h"
#include "scans/browser_helper_objects.h"
#include "scans/file_extensions.h"
#include "scans/full_scan.h"
#include "scans/startup_folders.h"
#include "scans/system_settings.h"

namespace {

// A live event whose handler family does not exist yet. The next rescan still
// brings its load point, setting or command into the database, without the process
// that made the change.
void DropRegistryEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, uint64_t) {}
void DropFileEvent(LoadPointEngine&, const BrumevaleFileEvent&, uint64_t) {}

}  // namespace

EngineHandlers DefaultEngineHandlers() {
  EngineHandlers handlers;
  handlers.loadPointEvent = [](LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                              uint64_t processId) { DispatchLoadPointEvent(engine, event, processId); };
  handlers.settingEvent = DropRegistryEvent;        // to be HandleSettingEvent
  handlers.fileExtensionEvent = DropRegistryEvent;  // to be HandleFileExtensionEvent
  handlers.folderFileEvent = DropFileEvent;         // to be HandleFolderFileEvent
  handlers.removeFolderLoadPoint = RemoveFolderLoadPoint;
  handlers.fullLoadPointScan = FullLoadPointScan;
  handlers.checkSystemSettings = CheckSystemSettings;
  handlers.checkFileExtensions = CheckFileExtensions;
  handlers.scanBrowserHelperObjects = ScanBrowserHelperObjects;
  return handlers;
}
