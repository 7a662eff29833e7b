#pragma once
// The change notifications that stand in for the driver when it cannot be reached.
// Every key of notification_units.h is watched through RegNotifyChangeKeyValue: the
// key itself, or while it does not exist its nearest existing ancestor (re-armed
// onto the key once it appears). The startup and task folders are watched through
// ReadDirectoryChangesW; a folder that does not exist yet is looked for again every
// second. The user hives are watched as they come and go: HKEY_USERS is listed
// every second, a hive loaded later is watched from then on (and re-read once),
// the watches of an unloaded one are dropped; so is the list of profile folders,
// whose new startup folders are watched from then on too. The class keys that the scans follow
// for the load points naming a class come as the scans find them (WatchClass): the
// control thread arms each within a second and has it re-read once, for what
// changed before its watch could see it.
//
// The waiting scheme: groups of WaitForMultipleObjects. Each watch signals an event
// of its own; the events are split into groups of 63, each waited on by one thread
// together with the watcher's wake event (the 64th handle), so that a stop or a new
// grouping reaches every thread at once. A thread per key would cost hundreds of
// threads on a machine with many users and control sets; a thread-pool wait would
// call back on threads the engine does not own, in no order, where a group thread
// re-arms its watch and marks its units in one place. A signalled watch is re-armed
// at once, before anything re-reads its key or folder, so that a change made during
// the re-read signals again.
//
// The re-reads themselves run on the engine's periodic thread (TakeDueUnits), where
// every other write to the rows happens: the units that are due are read in one
// pass. A unit marked once since its last re-read is due at once, so a lone change
// waits for nothing. A unit marked again while it waits is a key in the middle of a
// burst: it is held until its notifications have been quiet for a moment, or until
// it has waited kLongestHold (notification_watcher.cpp), so that a burst of
// thousands of value sets costs one pass over the key after it ends rather than
// one per notification, each reading a key that is still growing.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/notification_units.h"
#include "platform/system.h"

namespace Engine {

class NotificationWatcher {
 public:
  NotificationWatcher(Platform::System& system, std::vector<std::u16string> controlSets);
  ~NotificationWatcher();
  NotificationWatcher(const NotificationWatcher&) = delete;
  NotificationWatcher& operator=(const NotificationWatcher&) = delete;

  // Arms every watch (on the calling thread, so that nothing is missed once it
  // returns) and starts the watching threads.
  void Start();
  // Ends the threads and closes every watch.
  void Stop();
  // The units due for their re-read, each once, in the order first marked; the
  // units still settling stay marked.
  std::vector<ReReadUnit> TakeDueUnits();
  // Whether a unit is due for its re-read.
  bool HasDueUnits();
  // A class key to watch (ClassServerWatch), or one more load point naming it.
  void WatchClass(WatchPlan plan);
  // How many keys and folders are armed (a key possibly through an ancestor).
  size_t ArmedCount();

 private:
  struct Watch {
    WatchPlan plan;
    Platform::Handle key = 0;  // the key, its ancestor or the folder; 0 while not armed
    Platform::Handle event = 0;
    bool onTarget = false;  // false: armed on an ancestor while the key is missing
    bool IsFolder() const { return plan.root == 0; }
  };

  void AddWatches(std::vector<WatchPlan> plans, const std::u16string& owner);
  bool Arm(Watch& watch);
  bool ArmKey(Watch& watch);
  bool ArmFolder(Watch& watch);
  void Disarm(Watch& watch);
  // A signalled watch: re-armed, then its units marked.
  void Signalled(Watch& watch);
  void Control();
  void RunGroup(std::vector<Watch*> group);
  void StartGroups();
  void StopGroups();
  // What changed since the last look: hives loaded and unloaded, folders that appeared.
  bool CheckUserHives();
  void CheckMissingFolders();
  bool AddNewFolders();
  bool AddNewClasses();
  void Mark(const Watch& watch);

  using Clock = std::chrono::steady_clock;
  // A unit waiting for its re-read: when it was first and last marked, how often.
  struct Marked {
    ReReadUnit unit;
    Clock::time_point first;
    Clock::time_point last;
    int marks = 1;
  };
  using MarkIndex =
      std::tuple<Families::ScanScope, const Families::ScanLocation*, std::u16string, bool, std::u16string>;
  static MarkIndex IndexOf(const ReReadUnit& unit);
  static bool Due(const Marked& marked, Clock::time_point now);

  Platform::System& system_;
  std::vector<std::u16string> controlSets_;
  // Keyed by the owner: "" for the machine, "folders", or a SID for a user's hive.
  std::map<std::u16string, std::vector<std::unique_ptr<Watch>>> watches_;
  std::mutex watchMutex_;  // each watch's handles: group threads and the control thread
  std::mutex markMutex_;
  std::vector<Marked> marked_;            // in the order first marked
  std::map<MarkIndex, size_t> markedIndex_;  // each unit's place in marked_
  std::mutex classMutex_;
  std::vector<WatchPlan> newClasses_;
  std::map<std::u16string, Watch*> classWatches_;  // by key path; the control thread's
  std::set<std::u16string> folderPaths_;           // every folder watched; the same
  Platform::Handle wake_ = 0;  // manual reset: set to end (or regroup) every group thread
  std::atomic<bool> running_{false};
  std::vector<std::thread> groups_;
  std::thread control_;
};

}  // namespace Engine
