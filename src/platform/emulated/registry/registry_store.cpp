#include "platform/emulated/registry/registry_store.h"

#include "platform/byte_order.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/object_table.h"
#include "platform/emulated/registry/registry_seed.h"

namespace Emulated {

using namespace Platform;

namespace {

// Windows refuses key names over 255 characters and trees deeper than 512 levels;
// keeping both limits also keeps every recursion over the tree shallow.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;
// Links may point at links; a cycle must not hang the walk.
constexpr int kMaxLinkDepth = 16;
constexpr std::u16string_view kRegistryPrefix = u"\\REGISTRY\\";

size_t DepthOf(const RegistryKey& key) {
  size_t depth = 0;
  for (const RegistryKey* k = key.Parent(); k != nullptr; k = k->Parent()) ++depth;
  return depth;
}

}  // namespace

RegistryStore::RegistryStore(Machine& machine) : machine_(machine) {
  signal_ = [this](Handle event) { machine_.ObjectState().SetEvent(event); };
  root_ = std::make_shared<RegistryKey>(u"REGISTRY");
  root_->MarkHiveRoot();
  machineRoot_ = AddHive(root_, u"MACHINE");
  usersRoot_ = AddHive(root_, u"USER");
  AddHive(machineRoot_, u"SOFTWARE");
  AddHive(machineRoot_, u"SYSTEM");
  const std::vector<RegistryEdit> seed = InitialRegistryContent(machine_.Config());
  Apply(seed);
  AddLink(u"MACHINE\\SOFTWARE\\Wow6432Node\\Classes",
          u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\Wow6432Node");
  RefreshControlSetLink();
  for (const UserAccount& user : machine_.Config().users) {
    if (user.loggedOn) LoadUserHives(user.sid);
  }
}

RegistryStore::~RegistryStore() = default;

void RegistryStore::SetNotificationSignal(std::function<void(Handle)> signal) {
  std::lock_guard lock(mutex_);
  signal_ = std::move(signal);
}

size_t RegistryStore::PendingNotifications() {
  std::lock_guard lock(mutex_);
  return watches_.Size();
}

void RegistryStore::Signal(const Events& events) {
  if (events.empty()) return;
  std::function<void(Handle)> signal;
  {
    std::lock_guard lock(mutex_);
    signal = signal_;
  }
  for (Handle event : events) signal(event);
}

RegistryStore::KeyPtr RegistryStore::AddHive(const KeyPtr& parent, std::u16string_view name) {
  bool created = false;
  KeyPtr hive = parent->AddSubkey(name, &created);
  hive->MarkHiveRoot();
  return hive;
}

void RegistryStore::AddLink(std::u16string_view path, std::u16string target) {
  const size_t split = path.rfind(u'\\');
  KeyPtr parent;
  if (Walk(root_, path.substr(0, split), WalkMode::kCreate, &parent, nullptr, nullptr) !=
      kErrorSuccess) {
    return;
  }
  bool created = false;
  KeyPtr link = parent->AddSubkey(path.substr(split + 1), &created);
  // A real key of that name already holds data; it stays a key.
  if (created || link->IsLink()) link->SetLinkTarget(std::move(target));
}

// Windows points CurrentControlSet at the set named by Select "Current" when it
// boots. Loading a SYSTEM hive is our boot, so the link is set again after every
// bulk load rather than on each write of "Current".
void RegistryStore::RefreshControlSetLink() {
  uint32_t current = 1;
  if (KeyPtr select = Lookup(machineRoot_, u"SYSTEM\\Select")) {
    const RegistryValue* value = select->FindValue(u"Current");
    if (value != nullptr && value->type == kRegDword && value->data.size() == 4) {
      current = Platform::ReadLe32(value->data);
    }
  }
  std::string digits = std::to_string(current);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  std::u16string target = u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet";
  target.append(digits.begin(), digits.end());
  if (machineRoot_->FindSubkey(u"SYSTEM") == nullptr) return;
  AddLink(u"MACHINE\\SYSTEM\\CurrentControlSet", std::move(target));
}

// A watch on HKEY_USERS for names sees the hives appear, as it sees them go.
void RegistryStore::LoadUserHives(std::u16string_view sid) {
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (sid.empty() || sid.find(u'\\') != std::u16string_view::npos) return;
    const std::u16string classes = std::u16string(sid) + u"_Classes";
    AddHive(usersRoot_, sid);
    AddHive(usersRoot_, classes);
    // As in a real user hive, Software\Classes is the user's classes hive.
    AddLink(u"USER\\" + std::u16string(sid) + u"\\Software\\Classes",
            std::u16string(kRegistryPrefix) + u"USER\\" + classes);
    watches_.Changed(*usersRoot_, kRegNotifyChangeName, &events);
  }
  Signal(events);
}

void RegistryStore::UnloadUserHives(std::u16string_view sid) {
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (sid.empty()) return;
    watches_.Changed(*usersRoot_, kRegNotifyChangeName, &events);
    usersRoot_->RemoveSubkey(sid);
    usersRoot_->RemoveSubkey(std::u16string(sid) + u"_Classes");
    watches_.KeysDeleted(&events);
  }
  Signal(events);
}

Win32Error RegistryStore::Walk(KeyPtr key, std::u16string_view path, WalkMode mode, KeyPtr* out,
                               bool* created, Events* events, int linkDepth) {
  if (!path.empty() && path.front() == u'\\') return kErrorBadPathname;
  bool madeAny = false;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty()) continue;
    if (name.size() > kMaxKeyNameLength) return kErrorInvalidParameter;
    KeyPtr next = key->FindSubkey(name);
    if (next == nullptr) {
      if (mode == WalkMode::kOpen) return kErrorFileNotFound;
      const bool topLevel = key == root_ || key == machineRoot_ || key == usersRoot_;
      if (key == root_ || (topLevel && mode != WalkMode::kCreateHive)) return kErrorAccessDenied;
      if (DepthOf(*key) >= kMaxKeyDepth) return kErrorInvalidParameter;
      bool made = false;
      next = key->AddSubkey(name, &made);
      if (topLevel) next->MarkHiveRoot();
      madeAny = true;
      if (events != nullptr) watches_.Changed(*key, kRegNotifyChangeName, events);
    }
    if (next->IsLink()) {
      next = FollowLink(next, mode, events, linkDepth);
      if (next == nullptr) return kErrorFileNotFound;
    }
    key = std::move(next);
  }
  *out = std::move(key);
  if (created != nullptr) *created = madeAny;
  return kErrorSuccess;
}

RegistryStore::KeyPtr RegistryStore::FollowLink(const KeyPtr& link, WalkMode mode, Events* events,
                                                int linkDepth) {
  const std::u16string_view target = link->LinkTarget();
  if (linkDepth >= kMaxLinkDepth || !target.starts_with(kRegistryPrefix)) return nullptr;
  KeyPtr key;
  const WalkMode linkMode = mode == WalkMode::kOpen ? WalkMode::kOpen : WalkMode::kCreate;
  if (Walk(root_, target.substr(kRegistryPrefix.size()), linkMode, &key, nullptr, events,
           linkDepth + 1) != kErrorSuccess) {
    return nullptr;
  }
  return key;
}

// Opening never changes the tree, so a lookup is a walk that may run under const.
RegistryStore::KeyPtr RegistryStore::Lookup(const KeyPtr& start, std::u16string_view path) const {
  KeyPtr key;
  auto* self = const_cast<RegistryStore*>(this);
  if (self->Walk(start, path, WalkMode::kOpen, &key, nullptr, nullptr) != kErrorSuccess) {
    return nullptr;
  }
  return key;
}

}  // namespace Emulated
