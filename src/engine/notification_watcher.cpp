#include "engine/notification_watcher.h"

#include <set>

#include "fileinfo/user_identity.h"
#include "util/registry_readers.h"

namespace {

constexpr uint32_t kWatchStepMilliseconds = 10;
constexpr uint32_t kHiveListMilliseconds = 1000;
constexpr uint32_t kFilter = Platform::kRegNotifyChangeName | Platform::kRegNotifyChangeLastSet;

// The path without its last component; empty at the top.
std::u16string ParentPath(const std::u16string& path) {
  const size_t separator = path.rfind(u'\\');
  return separator == std::u16string::npos ? u"" : path.substr(0, separator);
}

std::set<std::u16string> LoadedUserSids(Platform::System& system) {
  std::set<std::u16string> sids;
  for (const std::u16string& name : VyrUtilities::SubkeyNames(system, Platform::kHkeyUsers)) {
    if (IsUserSid(name)) sids.insert(name);
  }
  return sids;
}

}  // namespace

NotificationWatcher::NotificationWatcher(Platform::System& system,
                                         std::vector<std::u16string> controlSets)
    : system_(system), controlSets_(std::move(controlSets)) {}

NotificationWatcher::~NotificationWatcher() { Stop(); }

void NotificationWatcher::Start() {
  if (running_.exchange(true)) return;
  AddWatches(MachineKeyWatches(controlSets_), u"");
  for (const std::u16string& sid : LoadedUserSids(system_)) AddWatches(UserKeyWatches(sid), sid);
  thread_ = std::thread([this] { Run(); });
}

void NotificationWatcher::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  for (auto& [owner, list] : watches_) {
    for (auto& watch : list) Disarm(*watch);
  }
  watches_.clear();
  std::lock_guard lock(markMutex_);
  marked_.clear();
  markedIndex_.clear();
}

void NotificationWatcher::AddWatches(std::vector<KeyWatchSpec> specs, const std::u16string& owner) {
  std::vector<std::unique_ptr<Watch>>& list = watches_[owner];
  for (KeyWatchSpec& spec : specs) {
    auto watch = std::make_unique<Watch>();
    watch->spec = std::move(spec);
    // Auto-reset: looking at the event consumes its signal.
    bool existed = false;
    if (system_.Objects().CreateEvent(false, false, u"", &watch->event, &existed) !=
        Platform::kErrorSuccess) {
      continue;
    }
    if (Arm(*watch)) ++armed_;
    list.push_back(std::move(watch));
  }
}

bool NotificationWatcher::Arm(Watch& watch) {
  Platform::Registry& registry = system_.Registry();
  if (watch.key != 0) registry.CloseKey(watch.key);
  watch.key = 0;
  std::u16string path = watch.spec.path;
  watch.onTarget = true;
  while (true) {
    Platform::Handle key = 0;
    if (registry.OpenKey(watch.spec.root, path, Platform::kKeyNotify, &key) == Platform::kErrorSuccess) {
      // On an ancestor only a new subkey matters: it may be the first step of the key.
      const bool subtree = watch.onTarget && watch.spec.subtree;
      const uint32_t filter = watch.onTarget ? kFilter : Platform::kRegNotifyChangeName;
      if (registry.NotifyChangeKeyValue(key, subtree, filter, watch.event) == Platform::kErrorSuccess) {
        watch.key = key;
        return true;
      }
      registry.CloseKey(key);
      return false;
    }
    if (path.empty()) return false;
    path = ParentPath(path);
    watch.onTarget = false;
  }
}

void NotificationWatcher::Disarm(Watch& watch) {
  if (watch.key != 0) system_.Registry().CloseKey(watch.key);
  watch.key = 0;
  if (watch.event != 0) system_.Objects().CloseHandle(watch.event);
  watch.event = 0;
}

void NotificationWatcher::Run() {
  uint32_t sinceHiveList = 0;
  while (running_) {
    CheckWatches();
    sinceHiveList += kWatchStepMilliseconds;
    if (sinceHiveList >= kHiveListMilliseconds) {
      sinceHiveList = 0;
      CheckUserHives();
    }
    system_.Environment().Sleep(kWatchStepMilliseconds);
  }
}

// A signalled watch is re-armed first. A watch on the key itself re-arms on the
// same handle; when that fails (the key was deleted) it is resolved again, onto
// the nearest ancestor. A watch on an ancestor is resolved again every time, and
// re-reads only once the key exists (or when it was on the key before).
void NotificationWatcher::CheckWatches() {
  Platform::Registry& registry = system_.Registry();
  Platform::NamedObjects& objects = system_.Objects();
  for (auto& [owner, list] : watches_) {
    for (auto& watch : list) {
      if (objects.WaitForSingleObject(watch->event, 0) != Platform::kWaitObject0) continue;
      const bool wasOnTarget = watch->onTarget;
      bool rearmed = false;
      if (watch->onTarget && watch->key != 0) {
        rearmed = registry.NotifyChangeKeyValue(watch->key, watch->spec.subtree, kFilter,
                                                watch->event) == Platform::kErrorSuccess;
      }
      if (!rearmed) Arm(*watch);
      if (wasOnTarget || watch->onTarget) Mark(*watch);
    }
  }
}

// Hives loaded since the last look are watched, and re-read once: their values were
// written before any watch could see them. Unloaded ones are dropped; their rows stay,
// as a rescan leaves the rows of a user whose hive is not loaded.
void NotificationWatcher::CheckUserHives() {
  const std::set<std::u16string> loaded = LoadedUserSids(system_);
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (!it->first.empty() && loaded.count(it->first) == 0) {
      for (auto& watch : it->second) {
        if (watch->key != 0) --armed_;
        Disarm(*watch);
      }
      it = watches_.erase(it);
    } else {
      ++it;
    }
  }
  for (const std::u16string& sid : loaded) {
    if (watches_.count(sid) != 0) continue;
    AddWatches(UserKeyWatches(sid), sid);
    for (auto& watch : watches_[sid]) Mark(*watch);
  }
}

void NotificationWatcher::Mark(const Watch& watch) {
  std::lock_guard lock(markMutex_);
  for (const ReReadUnit& unit : watch.spec.units) {
    if (markedIndex_.emplace(unit.scope, unit.location, unit.owner, unit.wow64).second) {
      marked_.push_back(unit);
    }
  }
}

std::vector<ReReadUnit> NotificationWatcher::TakeMarkedUnits() {
  std::lock_guard lock(markMutex_);
  markedIndex_.clear();
  return std::exchange(marked_, {});
}
