// The engine's side of the change notifications: starting and stopping the watcher,
// and the re-read of what it marked.

#include <set>
#include <utility>

#include "engine/load_point_engine.h"
#include "engine/notification_watcher.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"

namespace {

// A user's hive that is not loaded cannot be read; its rows must not look removed.
bool HiveLoaded(Platform::System& system, const std::u16string& sid) {
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey hive;
  return registry.OpenKey(Platform::kHkeyUsers, sid, Platform::kKeyRead, hive.Receive(registry)) ==
         Platform::kErrorSuccess;
}

}  // namespace

void LoadPointEngine::StartNotifications() {
  std::lock_guard lock(notificationMutex_);
  if (notifications_ != nullptr || shutDown_) return;
  notifications_ = std::make_unique<NotificationWatcher>(system_, controlSets_);
  notifications_->Start();
}

void LoadPointEngine::StopNotifications() {
  std::unique_ptr<NotificationWatcher> watcher;
  {
    std::lock_guard lock(notificationMutex_);
    watcher = std::move(notifications_);
  }
  if (watcher != nullptr) watcher->Stop();
}

bool LoadPointEngine::NotificationsRunning() {
  std::lock_guard lock(notificationMutex_);
  return notifications_ != nullptr;
}

int32_t LoadPointEngine::ReReadNotified() {
  std::vector<ReReadUnit> units;
  {
    std::lock_guard lock(notificationMutex_);
    if (notifications_ == nullptr) return 0;
    units = notifications_->TakeMarkedUnits();
  }
  std::erase_if(units, [this](const ReReadUnit& unit) {
    return unit.scope == ScanScope::kUserHives && !HiveLoaded(system_, unit.owner);
  });
  if (units.empty() || StopRequested()) return 0;
  std::set<std::pair<int32_t, std::u16string>> rows;
  for (const ReReadUnit& unit : units) rows.insert(unit.rows.begin(), unit.rows.end());
  BeginReRead(*this, ChangeOrigin::kNotification, [&rows](int32_t type, const std::u16string& userId) {
    return rows.count({type, userId}) != 0;
  });
  for (const ReReadUnit& unit : units) {
    if (FullScanStopping(*this)) break;
    ReReadUnitEntries(*this, unit);
  }
  if (FullScanStopping(*this)) {
    AbandonFullScan(*this);
  } else {
    EndFullScan(*this);
  }
  return static_cast<int32_t>(units.size());
}
