// Which routine serves each place where the engine hands work on.

#include "engine/engine_handlers.h"

#include "engine/full_scan.h"
#include "engine/load_point_dispatch.h"
#include "engine/load_point_engine.h"
#include "families/browser/browser_helper_objects.h"
#include "families/file_extensions/file_extension_events.h"
#include "families/file_extensions/file_extensions.h"
#include "families/common/load_point_handlers.h"
#include "families/startup_folders/startup_folder_events.h"
#include "families/settings/system_setting_events.h"
#include "families/settings/system_settings.h"

using Families::CheckFileExtensions;
using Families::CheckSystemSettings;
using Families::HandleFileExtensionEvent;
using Families::HandleFolderFileEvent;
using Families::HandleFolderFileRemoval;
using Families::HandleSettingEvent;
using Families::ScanBrowserHelperObjects;
using Intake::BrumevaleRegistryEvent;

namespace Engine {

EngineHandlers DefaultEngineHandlers() {
  EngineHandlers handlers;
  handlers.loadPointEvent = [](LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                              uint64_t processId) { DispatchLoadPointEvent(engine, event, processId); };
  handlers.settingEvent = HandleSettingEvent;
  handlers.fileExtensionEvent = HandleFileExtensionEvent;
  handlers.folderFileEvent = HandleFolderFileEvent;
  handlers.folderFileRemoval = HandleFolderFileRemoval;
  handlers.fullLoadPointScan = FullLoadPointScan;
  handlers.checkSystemSettings = CheckSystemSettings;
  handlers.checkFileExtensions = CheckFileExtensions;
  handlers.scanBrowserHelperObjects = ScanBrowserHelperObjects;
  return handlers;
}

}  // namespace Engine
