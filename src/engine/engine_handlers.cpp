// Which routine serves each place where the engine hands work on.

#include "engine/engine_handlers.h"

#include "engine/load_point_handlers.h"
#include "scans/browser_helper_objects.h"
#include "scans/file_extension_events.h"
#include "scans/file_extensions.h"
#include "scans/folder_file_events.h"
#include "scans/full_scan.h"
#include "scans/setting_events.h"
#include "scans/startup_folders.h"
#include "scans/system_settings.h"

EngineHandlers DefaultEngineHandlers() {
  EngineHandlers handlers;
  handlers.loadPointEvent = [](LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                              uint64_t processId) { DispatchLoadPointEvent(engine, event, processId); };
  handlers.settingEvent = HandleSettingEvent;
  handlers.fileExtensionEvent = HandleFileExtensionEvent;
  handlers.folderFileEvent = HandleFolderFileEvent;
  handlers.removeFolderLoadPoint = RemoveFolderLoadPoint;
  handlers.fullLoadPointScan = FullLoadPointScan;
  handlers.checkSystemSettings = CheckSystemSettings;
  handlers.checkFileExtensions = CheckFileExtensions;
  handlers.scanBrowserHelperObjects = ScanBrowserHelperObjects;
  return handlers;
}
