// The engine's side of the change notifications: starting and stopping the watcher,
// and the re-read of what it marked.

#include <set>
#include <utility>

#include "database/load_point_database.h"
#include "engine/load_point_engine.h"
#include "engine/notification_watcher.h"
#include "ledger/rescan_pass.h"
#include "ledger/scan_snapshot.h"
#include "platform/scoped_handle.h"

using Database::ChangeOrigin;
using Database::LoadPointDatabase;
using Families::ScanScope;
using Ledger::AbandonFullScan;
using Ledger::BeginReRead;
using Ledger::EndFullScan;
using Ledger::FullScanState;
using Ledger::FullScanStopping;
using Ledger::ScanSnapshot;

namespace Engine {

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
  for (const auto& [path, loadPointKey] : classServers_) {
    notifications_->WatchClass(ClassServerWatch(path, loadPointKey));
  }
}

void LoadPointEngine::FollowClassWithoutDriver(std::u16string_view serverPath, int32_t loadPointKey) {
  WatchPlan plan = ClassServerWatch(serverPath, loadPointKey);
  // A load point that names no class has nothing to follow.
  if (plan.units.front().owner.empty()) return;
  std::lock_guard lock(notificationMutex_);
  if (!classServers_.emplace(serverPath, loadPointKey).second) return;
  if (notifications_ != nullptr) notifications_->WatchClass(std::move(plan));
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

int32_t LoadPointEngine::ReReadNotified() { return ReReadMarked(nullptr, nullptr); }

int32_t LoadPointEngine::ReReadMarked(std::set<int32_t>* scopeKeys, bool* wrote) {
  std::vector<ReReadUnit> units;
  {
    std::lock_guard lock(notificationMutex_);
    if (notifications_ == nullptr) return 0;
    units = notifications_->TakeDueUnits();
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
  if (scopeKeys != nullptr) *scopeKeys = scanState_.pendingKeys;
  for (const ReReadUnit& unit : units) {
    if (FullScanStopping(*this)) break;
    ReReadUnitEntries(*this, unit);
  }
  // Rows it added or changed, or rows it is about to remove.
  if (wrote != nullptr) *wrote = scanState_.changed == 1 || !scanState_.pendingKeys.empty();
  if (FullScanStopping(*this)) {
    AbandonFullScan(*this);
  } else {
    EndFullScan(*this);
  }
  return static_cast<int32_t>(units.size());
}

// A full rescan and the re-reads write through one connection on one thread, so a
// re-read cannot run beside a rescan; yet a rescan of a large machine lasts many
// seconds, and a change is to reach the record within one. So the rescan lets the
// re-reads in between two of its locations (never inside one, whose entries it may
// still be reading): it commits what it has reconciled so far, the marked units are
// re-read and committed in a pass of their own, and the rescan goes on in a new
// transaction, its snapshot of the rows read again. That order keeps the rows as a
// rescan would find them:
//  - each pass writes what it read as it reads it, and passes take turns whole, so
//    nothing read before a change is written after a re-read of that change: a
//    location the rescan read before the change had its watch armed already, so the
//    change marks it again and a re-read after the rescan's read reads it;
//  - the rows the re-read had in its scope leave the rescan's pending set, whether
//    the re-read kept or removed them: it read their locations later than the
//    rescan did (or, for those still ahead, a change made in between marks them
//    again), so the rescan's end neither removes a row the re-read found nor
//    removes once more what the re-read removed.
// The price: a rescan that lets re-reads in is no longer one transaction. A stop
// that abandons it keeps what it committed before the last re-read; all of that was
// right when written, and the rows it would have removed at its end wait for the
// next rescan, which every start runs.
void LoadPointEngine::ReReadDuringRescan() {
  if (scanState_.active != 1 || scanState_.summarise != 1 || StopRequested()) return;
  {
    std::lock_guard lock(notificationMutex_);
    if (notifications_ == nullptr || !notifications_->HasDueUnits()) return;
  }
  LoadPointDatabase* database = Database();
  if (database == nullptr || !database->IsOpen()) return;
  std::set<int32_t> scopeKeys;
  bool wrote = true;  // a failed commit lost the rescan's own rows: read them again
  if (database->EndTransaction()) {
    FullScanState rescan = std::exchange(scanState_, FullScanState{});
    ReReadMarked(&scopeKeys, &wrote);
    scanState_ = std::move(rescan);
    for (int32_t key : scopeKeys) scanState_.pendingKeys.erase(key);
  }
  database->BeginTransaction();
  // On a large machine the snapshot is many rows: read again only when the
  // re-read changed any.
  if (!wrote) return;
  auto snapshot = std::make_shared<ScanSnapshot>();
  scanState_.snapshot = snapshot->Load(*database) ? std::move(snapshot) : nullptr;
}

}  // namespace Engine
