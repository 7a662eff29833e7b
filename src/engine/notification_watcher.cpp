#include "engine/notification_watcher.h"

#include <algorithm>

#include "fileinfo/user_identity.h"
#include "util/registry_readers.h"

using FileInfo::IsUserSid;

namespace Engine {

namespace {

// One handle of each group is the wake event.
constexpr size_t kGroupSize = Platform::kMaximumWaitObjects - 1;
constexpr uint32_t kControlMilliseconds = 1000;
constexpr uint32_t kKeyFilter = Platform::kRegNotifyChangeName | Platform::kRegNotifyChangeLastSet;
constexpr uint32_t kFolderFilter = Platform::kFileNotifyChangeFileName | Platform::kFileNotifyChangeDirName |
                                   Platform::kFileNotifyChangeSize | Platform::kFileNotifyChangeLastWrite;
// Enough for a few hundred names; more than that is an overflow, which re-reads
// the folder as any notification does.
constexpr uint32_t kFolderBufferBytes = 16384;
constexpr char16_t kFolderOwner[] = u"folders";
constexpr char16_t kClassOwner[] = u"classes";
// The coalescing of a unit marked again while it waits (notification_watcher.h):
// it is due once its key has had no notification for kQuiet, and at the latest
// kLongestHold after it was first marked. A program setting values one after
// another notifies every few tens of microseconds, so a quiet spell of 30 ms means
// it has finished (or paused, which costs at most one more pass). The hold keeps a
// key that never settles within the one second a change may wait: 600 ms held
// leaves the rest for the pass of any ordinary key. A key of many thousands of
// values takes longer than that to read under Wine whatever the policy; holding it
// until it is quiet is what keeps such a burst to one or two passes.
constexpr std::chrono::milliseconds kQuiet{30};
constexpr std::chrono::milliseconds kLongestHold{600};

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
  bool existed = false;
  if (system_.Objects().CreateEvent(true, false, u"", &wake_, &existed) != Platform::kErrorSuccess) {
    wake_ = 0;
    running_ = false;
    return;
  }
  AddWatches(MachineKeyWatches(controlSets_), u"");
  for (const std::u16string& sid : LoadedUserSids(system_)) AddWatches(UserKeyWatches(sid), sid);
  std::vector<WatchPlan> folders = FolderWatches(system_);
  for (const WatchPlan& plan : folders) folderPaths_.insert(plan.path);
  AddWatches(std::move(folders), kFolderOwner);
  StartGroups();
  control_ = std::thread([this] { Control(); });
}

void NotificationWatcher::Stop() {
  if (!running_.exchange(false)) return;
  system_.Objects().SetEvent(wake_);
  if (control_.joinable()) control_.join();
  StopGroups();
  for (auto& [owner, list] : watches_) {
    for (auto& watch : list) Disarm(*watch);
  }
  watches_.clear();
  classWatches_.clear();
  folderPaths_.clear();
  system_.Objects().CloseHandle(wake_);
  wake_ = 0;
  std::lock_guard lock(markMutex_);
  marked_.clear();
  markedIndex_.clear();
}

size_t NotificationWatcher::ArmedCount() {
  std::lock_guard lock(watchMutex_);
  size_t armed = 0;
  for (auto& [owner, list] : watches_) {
    for (auto& watch : list) armed += watch->key != 0 ? 1 : 0;
  }
  return armed;
}

void NotificationWatcher::AddWatches(std::vector<WatchPlan> plans, const std::u16string& owner) {
  std::lock_guard lock(watchMutex_);
  std::vector<std::unique_ptr<Watch>>& list = watches_[owner];
  for (WatchPlan& plan : plans) {
    auto watch = std::make_unique<Watch>();
    watch->plan = std::move(plan);
    // A key's event resets as its wait takes it; a folder's read resets its own.
    bool existed = false;
    if (system_.Objects().CreateEvent(watch->IsFolder(), false, u"", &watch->event, &existed) !=
        Platform::kErrorSuccess) {
      continue;
    }
    Arm(*watch);
    list.push_back(std::move(watch));
  }
}

bool NotificationWatcher::Arm(Watch& watch) { return watch.IsFolder() ? ArmFolder(watch) : ArmKey(watch); }

// (Re)opens the key or its nearest existing ancestor and arms it. On an ancestor
// only a new subkey matters: it may be the first step of the key.
bool NotificationWatcher::ArmKey(Watch& watch) {
  Platform::Registry& registry = system_.Registry();
  if (watch.key != 0) registry.CloseKey(watch.key);
  watch.key = 0;
  std::u16string path = watch.plan.path;
  watch.onTarget = true;
  while (true) {
    Platform::Handle key = 0;
    if (registry.OpenKey(watch.plan.root, path, Platform::kKeyNotify, &key) == Platform::kErrorSuccess) {
      const bool subtree = watch.onTarget && watch.plan.subtree;
      const uint32_t filter = watch.onTarget ? kKeyFilter : Platform::kRegNotifyChangeName;
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

bool NotificationWatcher::ArmFolder(Watch& watch) {
  Platform::FileSystem& files = system_.Files();
  if (watch.key == 0 &&
      files.OpenDirectoryForChanges(watch.plan.path, &watch.key) != Platform::kErrorSuccess) {
    watch.key = 0;
    return false;
  }
  if (files.ReadDirectoryChanges(watch.key, kFolderBufferBytes, watch.plan.subtree, kFolderFilter,
                                 watch.event) == Platform::kErrorSuccess) {
    return true;
  }
  files.CloseFile(watch.key);
  watch.key = 0;
  return false;
}

void NotificationWatcher::Disarm(Watch& watch) {
  if (watch.key != 0) {
    if (watch.IsFolder()) {
      system_.Files().CloseFile(watch.key);
    } else {
      system_.Registry().CloseKey(watch.key);
    }
  }
  watch.key = 0;
  if (watch.event != 0) system_.Objects().CloseHandle(watch.event);
  watch.event = 0;
}

// A key watch re-arms on the same handle; when that fails (the key was deleted) it
// is resolved again, onto the nearest ancestor. A watch on an ancestor is resolved
// again every time, and re-reads only once the key exists (or when it was on the
// key before). A folder's read is collected, whatever it holds (records, or an
// overflow: the folder is re-read whole either way), and armed again.
void NotificationWatcher::Signalled(Watch& watch) {
  std::lock_guard lock(watchMutex_);
  if (watch.IsFolder()) {
    std::vector<uint8_t> records;
    if (watch.key != 0 &&
        system_.Files().GetDirectoryChanges(watch.key, &records) == Platform::kErrorIoIncomplete) {
      return;
    }
    // A folder that went away: its manual-reset event must not keep the group busy;
    // the control thread arms it again once the folder is back.
    if (watch.key == 0 || !ArmFolder(watch)) system_.Objects().ResetEvent(watch.event);
    Mark(watch);
    return;
  }
  if (watch.key == 0) return;
  const bool wasOnTarget = watch.onTarget;
  const bool rearmed = watch.onTarget && system_.Registry().NotifyChangeKeyValue(
                                             watch.key, watch.plan.subtree, kKeyFilter, watch.event) ==
                                             Platform::kErrorSuccess;
  if (!rearmed) ArmKey(watch);
  if (wasOnTarget || watch.onTarget) Mark(watch);
}

void NotificationWatcher::RunGroup(std::vector<Watch*> group) {
  std::vector<Platform::Handle> handles{wake_};
  for (Watch* watch : group) handles.push_back(watch->event);
  Platform::NamedObjects& objects = system_.Objects();
  while (true) {
    const uint32_t result = objects.WaitForMultipleObjects(handles, false, Platform::kInfinite);
    if (result == Platform::kWaitObject0) return;
    const size_t index = result - Platform::kWaitObject0;
    if (index == 0 || index >= handles.size()) return;  // failed: the control thread regroups
    Signalled(*group[index - 1]);
  }
}

void NotificationWatcher::StartGroups() {
  std::vector<Watch*> all;
  for (auto& [owner, list] : watches_) {
    for (auto& watch : list) all.push_back(watch.get());
  }
  for (size_t first = 0; first < all.size(); first += kGroupSize) {
    std::vector<Watch*> group(all.begin() + first, all.begin() + std::min(all.size(), first + kGroupSize));
    groups_.emplace_back([this, group = std::move(group)] { RunGroup(group); });
  }
}

void NotificationWatcher::StopGroups() {
  system_.Objects().SetEvent(wake_);
  for (std::thread& group : groups_) group.join();
  groups_.clear();
  system_.Objects().ResetEvent(wake_);
}

// Every second: the hive list and the folders that were missing. A change of the
// hives regroups the threads; the watches themselves stay armed meanwhile, so a
// change made then still finds its event signalled.
void NotificationWatcher::Control() {
  while (system_.Objects().WaitForSingleObject(wake_, kControlMilliseconds) == Platform::kWaitTimeout) {
    CheckMissingFolders();
    const bool newFolders = AddNewFolders();
    const bool newClasses = AddNewClasses();
    if (!CheckUserHives() && !newFolders && !newClasses) continue;
    StopGroups();
    if (!running_) return;
    StartGroups();
  }
}

bool NotificationWatcher::CheckUserHives() {
  const std::set<std::u16string> loaded = LoadedUserSids(system_);
  bool changed = false;
  std::vector<std::u16string> added;
  for (const std::u16string& sid : loaded) {
    if (watches_.count(sid) == 0) added.push_back(sid);
  }
  std::vector<std::u16string> removed;
  for (const auto& [owner, list] : watches_) {
    if (IsUserSid(owner) && loaded.count(owner) == 0) removed.push_back(owner);
  }
  // The threads still wait on the events of an unloaded hive: they end first.
  if (!removed.empty()) StopGroups();
  for (const std::u16string& sid : removed) {
    std::lock_guard lock(watchMutex_);
    for (auto& watch : watches_[sid]) Disarm(*watch);
    watches_.erase(sid);
    changed = true;
  }
  // Values written before any watch could see them are read once.
  for (const std::u16string& sid : added) {
    AddWatches(UserKeyWatches(sid), sid);
    for (auto& watch : watches_[sid]) Mark(*watch);
    changed = true;
  }
  return changed;
}

void NotificationWatcher::CheckMissingFolders() {
  for (auto& watch : watches_[kFolderOwner]) {
    std::lock_guard lock(watchMutex_);
    if (watch->key == 0 && ArmFolder(*watch)) Mark(*watch);
  }
}

// A profile made since the start (a user's first log-on) brings a startup folder
// of its own: watched from then on, and read once for what it already holds.
bool NotificationWatcher::AddNewFolders() {
  std::vector<WatchPlan> plans = FolderWatches(system_);
  std::erase_if(plans, [this](const WatchPlan& plan) { return folderPaths_.count(plan.path) != 0; });
  if (plans.empty()) return false;
  for (const WatchPlan& plan : plans) folderPaths_.insert(plan.path);
  std::vector<std::unique_ptr<Watch>>& list = watches_[kFolderOwner];
  const size_t before = list.size();
  AddWatches(std::move(plans), kFolderOwner);
  for (size_t i = before; i < list.size(); ++i) Mark(*list[i]);
  return list.size() != before;
}

void NotificationWatcher::WatchClass(WatchPlan plan) {
  std::lock_guard lock(classMutex_);
  newClasses_.push_back(std::move(plan));
}

// A class already watched takes the new load point into its unit; a new one is
// armed, and marked so that its first re-read catches up with the class.
bool NotificationWatcher::AddNewClasses() {
  std::vector<WatchPlan> plans;
  {
    std::lock_guard lock(classMutex_);
    plans.swap(newClasses_);
  }
  bool added = false;
  for (WatchPlan& plan : plans) {
    if (auto found = classWatches_.find(plan.path); found != classWatches_.end()) {
      std::lock_guard lock(watchMutex_);
      std::vector<int32_t>& keys = found->second->plan.units.front().loadPointKeys;
      for (int32_t key : plan.units.front().loadPointKeys) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
      }
      continue;
    }
    const std::u16string path = plan.path;
    std::vector<std::unique_ptr<Watch>>& list = watches_[kClassOwner];
    const size_t before = list.size();
    AddWatches({std::move(plan)}, kClassOwner);
    if (list.size() == before) continue;  // its event could not be made
    Watch* watch = list.back().get();
    classWatches_[path] = watch;
    Mark(*watch);
    added = true;
  }
  return added;
}

NotificationWatcher::MarkIndex NotificationWatcher::IndexOf(const ReReadUnit& unit) {
  return {unit.scope, unit.location, unit.owner, unit.wow64, unit.folder};
}

bool NotificationWatcher::Due(const Marked& marked, Clock::time_point now) {
  return marked.marks == 1 || now - marked.last >= kQuiet || now - marked.first >= kLongestHold;
}

void NotificationWatcher::Mark(const Watch& watch) {
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(markMutex_);
  for (const ReReadUnit& unit : watch.plan.units) {
    const auto [found, added] = markedIndex_.emplace(IndexOf(unit), marked_.size());
    if (added) {
      marked_.push_back({unit, now, now});
      continue;
    }
    Marked& again = marked_[found->second];
    again.last = now;
    ++again.marks;
  }
}

std::vector<ReReadUnit> NotificationWatcher::TakeDueUnits() {
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(markMutex_);
  std::vector<ReReadUnit> due;
  std::vector<Marked> waiting;
  markedIndex_.clear();
  for (Marked& marked : marked_) {
    if (Due(marked, now)) {
      due.push_back(std::move(marked.unit));
      continue;
    }
    markedIndex_.emplace(IndexOf(marked.unit), waiting.size());
    waiting.push_back(std::move(marked));
  }
  marked_ = std::move(waiting);
  return due;
}

bool NotificationWatcher::HasDueUnits() {
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(markMutex_);
  return std::any_of(marked_.begin(), marked_.end(), [now](const Marked& marked) { return Due(marked, now); });
}

}  // namespace Engine
