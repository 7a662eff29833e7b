#pragma once
// The one central object of the service. It owns the database connection, the
// tables of watched registry locations and folders, the process table and the
// activity tracker. Initialise runs once on the logger thread (it builds the tables
// and runs the first full rescan); Dispatch and Rescan then run only on the periodic
// thread. The handler families are free routines that take it as a LedgerContext.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "database/database_file_name.h"
#include "engine/engine_handlers.h"
#include "fileinfo/user_identity.h"
#include "ledger/ledger_context.h"
#include "ledger/process_image_cache.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace VyrUtilities {
class BrumevaleSettings;
class DriveMap;
class VyrLog;
}  // namespace VyrUtilities

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Intake {
class ActivityTracker;
class DataConsumer;
class FileEntry;
class ProcessMonitor;
class RegistryEntry;
class SystemLogEntry;
}  // namespace Intake

namespace Engine {

class NotificationWatcher;
class RegistryEventMatcher;
class FileEventMatcher;

// Bits of a watcher thread's flag word.
inline constexpr uint32_t kWatcherKeepWatching = 1;
inline constexpr uint32_t kWatcherChangeSeen = 2;
inline constexpr uint32_t kWatcherWow64Key = 4;

// The machine-wide mutex held while the engine initialises.
inline constexpr char16_t kLoggerMutexName[] = u"Global\\{9099B682-1E88-4e03-B5DD-A0BE31B4EADD}";
inline constexpr char16_t kDatabaseLogName[] = u"BrumevaleLogger_DB_Log.txt";

class LoadPointEngine final : public Ledger::LedgerContext, private Ledger::ClassWatches {
 public:
  // serviceLog is the process's service log; driveMap the process's drive map.
  LoadPointEngine(Platform::System& system, VyrUtilities::VyrLog& serviceLog,
                  VyrUtilities::DriveMap& driveMap);
  // Shuts down (see Shutdown) if that was not done yet.
  ~LoadPointEngine();
  LoadPointEngine(const LoadPointEngine&) = delete;
  LoadPointEngine& operator=(const LoadPointEngine&) = delete;

  // Logger thread, once.
  void Initialise(Intake::DataConsumer* consumer, VyrUtilities::BrumevaleSettings* settings);
  // Periodic thread: handles every queued entry; the count, or -1 without a consumer.
  int32_t Dispatch();
  // Without the driver: the change notifications (engine/notification_watcher.h).
  // Before Initialise, WatchChangesFromStart has them armed just before the first
  // rescan, so that nothing changed during it goes unseen. Start and Stop may be
  // called from any thread but the periodic one.
  void WatchChangesFromStart() { watchFromStart_ = true; }
  void StartNotifications();
  void StopNotifications();
  bool NotificationsRunning();
  // Periodic thread: re-reads, in one pass, every notified unit that is due (a key
  // still in a burst of changes waits for it to settle). The number of units re-read.
  int32_t ReReadNotified();
  // Inside a full rescan, between two of its locations: lets the notified re-reads
  // in (notified_reread.cpp says how the two are ordered).
  void ReReadDuringRescan();
  // Full rescan, then the system-settings and file-extension checks.
  void Rescan(int32_t initial);
  // Any thread: tells a running or later rescan to give up its pass (see
  // ledger/rescan_pass.h). The engine does not start again after this.
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  // After the periodic thread has ended: the watcher threads are told to stop (bit
  // value 1 cleared) and joined, then the database is closed.
  void Shutdown();

  // What the handler families work with (see ledger/ledger_context.h).
  Platform::System& System() override { return system_; }
  VyrUtilities::VyrLog& Log() override { return serviceLog_; }
  VyrUtilities::DriveMap& Drives() { return driveMap_; }
  VyrUtilities::BrumevaleSettings* Settings() override { return settings_; }
  Database::LoadPointDatabase* Database() override { return database_.get(); }
  Intake::ProcessMonitor& Processes() { return *processes_; }
  Intake::ActivityTracker& Tracker() { return *tracker_; }
  RegistryEventMatcher& RegistryMatcher() { return *registryMatcher_; }
  FileEventMatcher& FileMatcher() { return *fileMatcher_; }
  FileInfo::UserTable& Users() override { return users_; }
  const std::vector<std::u16string>& ControlSets() const override { return controlSets_; }
  // The SIDs under HKEY_USERS and their classes hives, rebuilt by every rescan.
  std::set<std::u16string>& UserHives() override { return userHives_; }
  std::set<std::u16string>& UserClassesHives() override { return userClassesHives_; }
  const std::u16string& SvchostPath() const override { return svchostPath_; }
  const std::u16string& SvchostPathWow64() const override { return svchostPathWow64_; }
  Ledger::FullScanState& ScanState() override { return scanState_; }
  bool StopRequested() const override { return stopRequested_.load(std::memory_order_relaxed); }
  Ledger::ClassWatches& ClassWatch() override { return *this; }
  const Intake::IProcessMonitor& ProcessTable() override;
  Ledger::ProcessImageCache& ProcessImages() override { return images_; }
  std::atomic<uint32_t>& WatcherFlags(int index) { return watcherFlags_[index]; }
  // Where each handler family and scan plugs in; tests may replace them.
  EngineHandlers& Handlers() { return handlers_; }

 private:
  void CreateDatabase();
  // The re-read of every marked unit; scopeKeys, when given, receives the keys of
  // the rows it had in its scope, wrote whether it changed any row.
  int32_t ReReadMarked(std::set<int32_t>* scopeKeys, bool* wrote);
  void CreateLoggerMutex();
  void StartWatchers();
  void RunWatcherRescans();
  void DispatchEntry(const Intake::SystemLogEntry& entry);
  void DispatchRegistryEntry(const Intake::RegistryEntry& entry);
  void DispatchRegistryEvent(const Intake::BrumevaleRegistryEvent& event, uint64_t processId);
  void DispatchFileEntry(const Intake::FileEntry& entry);
  void WatchClass(Platform::Handle root, std::u16string_view path, std::u16string_view valueName,
                  uint32_t matcherCode, int32_t loadPointKey) override;
  // Keeps the class watch for the change notifications, running now or later.
  void FollowClassWithoutDriver(std::u16string_view serverPath, int32_t loadPointKey);

  Platform::System& system_;
  VyrUtilities::VyrLog& serviceLog_;
  VyrUtilities::DriveMap& driveMap_;
  Intake::DataConsumer* consumer_ = nullptr;
  VyrUtilities::BrumevaleSettings* settings_ = nullptr;
  std::unique_ptr<Database::LoadPointDatabase> database_;
  std::unique_ptr<Intake::ProcessMonitor> processes_;
  Ledger::ProcessImageCache images_;
  std::unique_ptr<Intake::ActivityTracker> tracker_;
  std::unique_ptr<RegistryEventMatcher> registryMatcher_;
  std::unique_ptr<FileEventMatcher> fileMatcher_;
  FileInfo::UserTable users_;
  std::vector<std::u16string> controlSets_;
  std::set<std::u16string> userHives_;
  std::set<std::u16string> userClassesHives_;
  std::u16string svchostPath_;
  std::u16string svchostPathWow64_;
  Ledger::FullScanState scanState_;
  Platform::ScopedObject loggerMutex_;
  std::array<std::atomic<uint32_t>, 2> watcherFlags_{1, 5};
  std::array<std::thread, 2> watchers_;
  // The watchers' notification events, made here so that Shutdown can wake them.
  std::array<Platform::ScopedObject, 2> watcherEvents_;
  EngineHandlers handlers_;
  std::mutex notificationMutex_;
  std::unique_ptr<NotificationWatcher> notifications_;
  // Every class watch the scans asked for: (server key path, load point key).
  std::set<std::pair<std::u16string, int32_t>> classServers_;
  bool watchFromStart_ = false;
  std::atomic<bool> stopRequested_{false};
  bool shutDown_ = false;
};

}  // namespace Engine
