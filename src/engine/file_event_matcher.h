#pragma once
// The watched folders: the users' and the common startup folders and the two task
// folders. Turns a file entry into a file event tagged with the folder's code (27
// common startup, 28 a user's startup, 74 native tasks, 75 32-bit tasks) when the
// file lies in a watched folder or below it. The folders are the families' declared
// ones (FolderDeclaration), placed on this machine. Built on the thread that
// initialises the engine, read afterwards only on the periodic thread; no lock.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "families/common/load_point_catalogue.h"
#include "intake/process_monitor.h"

namespace Intake {
class BrumevaleFileEvent;
class FileEntry;
}  // namespace Intake

namespace Engine {

class LoadPointEngine;

struct WatchedFolder {
  uint32_t code;
  std::u16string folderPath;   // as given
  std::u16string matcherText;  // the profile folder name of a user's startup folder
};

class FileEventMatcher {
 public:
  // The engine gives the system, the log for malformed paths and the profile rules
  // that the startup-folder rescan uses too.
  explicit FileEventMatcher(LoadPointEngine& engine) : engine_(engine) {}

  // The startup folders of every profile (only the common one on Windows Vista and
  // later, where "All Users" is no real profile), then the two task folders.
  void Initialise();
  void AddFolder(uint32_t code, const std::u16string& folderPath,
                 const std::u16string& matcherText);
  // The event for the entry's path (useSecondPath 0) or new name (1), or null.
  std::unique_ptr<Intake::BrumevaleFileEvent> Match(const Intake::FileEntry& entry,
                                                    int32_t useSecondPath) const;

  void SetProcessTable(const Intake::ProcessTable* processes) { processes_ = processes; }
  const Intake::ProcessTable* Processes() const { return processes_; }
  // Lower-cased folder path -> folder.
  const std::map<std::u16string, WatchedFolder>& Folders() const { return folders_; }

 private:
  LoadPointEngine& engine_;
  const Intake::ProcessTable* processes_ = nullptr;
  std::map<std::u16string, WatchedFolder> folders_;
};

}  // namespace Engine
