#include "engine/load_point_engine.h"

#include <cstdio>

#include "database/load_point_database.h"
#include "engine/bho_watcher.h"
#include "engine/check_findings.h"
#include "engine/file_event_matcher.h"
#include "engine/machine_notes.h"
#include "engine/notification_watcher.h"
#include "engine/registry_event_matcher.h"
#include "intake/activity_tracker.h"
#include "intake/process_monitor.h"
#include "util/brumevale_settings.h"
#include "util/path_routines.h"
#include "util/vyr_log.h"

using Database::ChangeOrigin;
using Database::LoadPointDatabase;
using Database::kDatabaseFileName;
using FileInfo::CollectControlSets;
using Intake::ActivityTracker;
using Intake::DataConsumer;
using Intake::IProcessMonitor;
using Intake::ProcessMonitor;

namespace Engine {

LoadPointEngine::LoadPointEngine(Platform::System& system, VyrUtilities::VyrLog& serviceLog,
                                 VyrUtilities::DriveMap& driveMap)
    : system_(system),
      serviceLog_(serviceLog),
      driveMap_(driveMap),
      processes_(std::make_unique<ProcessMonitor>(system, driveMap)),
      tracker_(std::make_unique<ActivityTracker>(system, *processes_, serviceLog)),
      registryMatcher_(std::make_unique<RegistryEventMatcher>()),
      fileMatcher_(std::make_unique<FileEventMatcher>(*this)),
      handlers_(DefaultEngineHandlers()) {}

LoadPointEngine::~LoadPointEngine() { Shutdown(); }

const IProcessMonitor& LoadPointEngine::ProcessTable() { return *processes_; }

void LoadPointEngine::WatchClass(Platform::Handle root, std::u16string_view path,
                                 std::u16string_view valueName, uint32_t matcherCode,
                                 int32_t loadPointKey) {
  AddClassWatch(*registryMatcher_, root, path, valueName, matcherCode, loadPointKey);
  FollowClassWithoutDriver(path, loadPointKey);
}

void LoadPointEngine::Initialise(DataConsumer* consumer,
                                    VyrUtilities::BrumevaleSettings* settings) {
  consumer_ = consumer;
  settings_ = settings;
  CreateDatabase();
  // Before anything can be recorded: every change's time then has an offset noted
  // at or before it, also a change the notifications report before the first
  // rescan. Each rescan notes them again, when they have changed.
  if (database_ != nullptr) NoteMachineFacts(*database_, system_);
  CreateLoggerMutex();
  CollectControlSets(system_, controlSets_);
  svchostPath_ = VyrUtilities::GetSpecialFolder(system_, Platform::kCsidlSystem) + u"\\svchost.exe";
  svchostPathWow64_ =
      VyrUtilities::GetSpecialFolder(system_, Platform::kCsidlSystemX86) + u"\\svchost.exe";
  if (settings_ != nullptr) processes_->Initialise(*settings_);
  BuildRegistryWatchTable(*registryMatcher_);
  fileMatcher_->Initialise();
  fileMatcher_->SetProcessTable(processes_.get());
  if (watchFromStart_) StartNotifications();
  Rescan(1);
  StartWatchers();
  // Held from creation through the first rescan, so that another instance can tell
  // when this one has brought the database up to date.
  if (loggerMutex_) system_.Objects().ReleaseMutex(loggerMutex_.Get());
}

void LoadPointEngine::CreateDatabase() {
  // Without settings there is no data directory: the handlers then find no database
  // and record nothing, as they do when the file cannot be opened.
  if (settings_ == nullptr) return;
  database_ = std::make_unique<LoadPointDatabase>(system_, *settings_, kDatabaseLogName);
  // The service's console: where its database failures have always been shown.
  database_->SendConsoleLinesTo([](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
  database_->OpenDatabase(settings_->DataDirectory() + u"\\" + kDatabaseFileName, false);
}

void LoadPointEngine::CreateLoggerMutex() {
  // On Windows the mutex gets a null DACL so that every account may open it; the
  // platform's mutexes are open to everybody already.
  bool existed = false;
  Platform::NamedObjects& objects = system_.Objects();
  if (objects.CreateMutex(true, kLoggerMutexName, loggerMutex_.Receive(objects), &existed) !=
      Platform::kErrorSuccess) {
    loggerMutex_.Release();  // nothing was opened
    serviceLog_.Write(u"ERROR: Unable to initialize logger mutex.", 1, 1, 0);
  }
}

void LoadPointEngine::StartWatchers() {
  for (size_t i = 0; i < watchers_.size(); ++i) {
    std::atomic<uint32_t>& word = watcherFlags_[i];
    bool existed = false;
    Platform::Handle event = 0;
    if (system_.Objects().CreateEvent(true, false, u"", &event, &existed) ==
        Platform::kErrorSuccess) {
      watcherEvents_[i] = Platform::ScopedObject(system_.Objects(), event);
      watchers_[i] = std::thread([this, &word, event] {
        MonitorBHORegistryKey(system_, serviceLog_, word, event);
      });
    } else {
      // The routine makes (and fails to make) its own event and logs the failure.
      watchers_[i] = std::thread([this, &word] { MonitorBHORegistryKey(system_, serviceLog_, word); });
    }
  }
}

void LoadPointEngine::Rescan(int32_t initial) {
  if (database_ != nullptr) NoteMachineFacts(*database_, system_);
  if (handlers_.fullLoadPointScan) handlers_.fullLoadPointScan(*this, initial);
  // The checks that follow are skipped as well when stopping; the next start's rescan
  // runs them again.
  if (StopRequested()) return;
  // The first rescan of an empty record is its baseline: what the checks find then
  // was there before the record began, and names nothing.
  const bool baseline = scanState_.findingOrigin == ChangeOrigin::kDriver;
  const CheckRows before = ReadCheckRows(*this);
  if (handlers_.checkSystemSettings) handlers_.checkSystemSettings(*this);
  if (handlers_.checkFileExtensions) handlers_.checkFileExtensions(*this);
  if (!baseline) RecordCheckFindings(*this, before, ChangeOrigin::kRescan);
}

void LoadPointEngine::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  StopNotifications();
  Platform::NamedObjects& objects = system_.Objects();
  for (size_t i = 0; i < watchers_.size(); ++i) {
    watcherFlags_[i].fetch_and(~kWatcherKeepWatching);
    if (watcherEvents_[i]) objects.SetEvent(watcherEvents_[i].Get());
  }
  // Each event is closed once its watcher has ended, and the mutex only after the
  // database: another instance waiting on it must find the record closed.
  for (size_t i = 0; i < watchers_.size(); ++i) {
    if (watchers_[i].joinable()) watchers_[i].join();
    watcherEvents_[i].Reset();
  }
  if (database_ != nullptr && database_->IsOpen()) database_->CloseDatabase();
  loggerMutex_.Reset();
}

}  // namespace Engine
