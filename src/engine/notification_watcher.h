#pragma once
// The change notifications that stand in for the driver when it cannot be reached.
// Every key of notification_units.h is watched through RegNotifyChangeKeyValue: the
// key itself, or while it does not exist its nearest existing ancestor (re-armed
// onto the key once it appears). The user hives are watched as they come and go:
// HKEY_USERS is listed again every second, a hive loaded later is watched from then
// on and the watches of an unloaded one are dropped.
//
// The waiting scheme: one thread serves every watch. Each watch signals an event of
// its own; the thread looks at all of them, re-arms each signalled watch at once
// (before anything re-reads its key, so a change made during the re-read signals
// again) and marks its units to be re-read. A thread per key would cost hundreds of
// threads on a machine with many users and control sets; the driver's own port is
// polled in the same rhythm (every 10 ms), so one thread that does the same for the
// notification events keeps the two sources alike in latency and idle cost.
//
// The re-reads themselves run on the engine's periodic thread (TakeMarkedUnits),
// where every other write to the rows happens: all units marked since the last
// re-read are read in one pass, so a burst of changes is coalesced into as many
// passes as the burst outlasts.

#include <atomic>
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

class NotificationWatcher {
 public:
  NotificationWatcher(Platform::System& system, std::vector<std::u16string> controlSets);
  ~NotificationWatcher();
  NotificationWatcher(const NotificationWatcher&) = delete;
  NotificationWatcher& operator=(const NotificationWatcher&) = delete;

  // Arms every watch (on the calling thread, so that nothing is missed once it
  // returns) and starts the watching thread.
  void Start();
  // Ends the thread and closes every watch.
  void Stop();
  // The units marked since the last call, each once, in the order first marked.
  std::vector<ReReadUnit> TakeMarkedUnits();
  // How many watches are armed (on their key or an ancestor).
  size_t ArmedCount() const { return armed_.load(); }

 private:
  struct Watch {
    KeyWatchSpec spec;
    Platform::Handle key = 0;
    Platform::Handle event = 0;
    bool onTarget = false;  // false: armed on an ancestor while the key is missing
  };

  void AddWatches(std::vector<KeyWatchSpec> specs, const std::u16string& owner);
  // (Re)opens the key or its nearest existing ancestor and arms it; false when not
  // even the root could be armed.
  bool Arm(Watch& watch);
  void Disarm(Watch& watch);
  void Run();
  void CheckWatches();
  void CheckUserHives();
  void Mark(const Watch& watch);

  Platform::System& system_;
  std::vector<std::u16string> controlSets_;
  // Keyed by the owner: "" for the machine, a SID for a user's hive.
  std::map<std::u16string, std::vector<std::unique_ptr<Watch>>> watches_;
  std::mutex markMutex_;
  std::vector<ReReadUnit> marked_;
  std::set<std::tuple<ScanScope, const ScanLocation*, std::u16string, int32_t>> markedIndex_;
  std::atomic<size_t> armed_{0};
  std::atomic<bool> running_{false};
  std::thread thread_;
};
