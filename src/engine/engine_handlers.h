#pragma once
// The places where the handler families plug into the engine's
// initialisation, dispatch and rescan. DefaultEngineHandlers() (engine_handlers.cpp)
// is the one spot that says which routine serves each place; tests replace entries
// to observe the routing.

#include <cstdint>
#include <functional>
#include <string>

namespace Intake {
class BrumevaleFileEvent;
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Engine {

class LoadPointEngine;

struct EngineHandlers {
  // Registry events by the kind of their matcher code.
  std::function<void(LoadPointEngine&, const Intake::BrumevaleRegistryEvent&, uint64_t processId)>
      loadPointEvent;
  std::function<void(LoadPointEngine&, const Intake::BrumevaleRegistryEvent&, uint64_t processId)>
      settingEvent;
  std::function<void(LoadPointEngine&, const Intake::BrumevaleRegistryEvent&, uint64_t processId)>
      fileExtensionEvent;
  // File events of the watched folders.
  std::function<void(LoadPointEngine&, const Intake::BrumevaleFileEvent&, uint64_t processId)>
      folderFileEvent;
  // A file deleted, or the old name of a rename.
  std::function<int32_t(LoadPointEngine&, const Intake::BrumevaleFileEvent&, uint64_t processId)>
      folderFileRemoval;
  // The rescan and its two checks, in the order Rescan runs them.
  std::function<int32_t(LoadPointEngine&, int32_t startFlag)> fullLoadPointScan;
  std::function<void(LoadPointEngine&)> checkSystemSettings;
  std::function<void(LoadPointEngine&)> checkFileExtensions;
  // The Browser Helper Object rescan run when a watcher saw a change.
  std::function<void(LoadPointEngine&, int32_t startFlag, int32_t recordNew)>
      scanBrowserHelperObjects;
};

EngineHandlers DefaultEngineHandlers();

}  // namespace Engine
