// The store's bulk side: edits by path, copies for export, and deletion of subtrees
// shared with the handle operations.
#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

using namespace Platform;

void RegistryStore::Apply(std::span<const RegistryEdit> edits) {
  Events events;
  {
    std::lock_guard lock(mutex_);
    for (const RegistryEdit& edit : edits) ApplyOne(edit, &events);
    RefreshControlSetLink();
  }
  Signal(events);
}

void RegistryStore::ApplyOne(const RegistryEdit& edit, Events* events) {
  KeyPtr key;
  switch (edit.kind) {
    case RegistryEdit::Kind::kCreateKey:
      Walk(root_, edit.keyPath, WalkMode::kCreateHive, &key, nullptr, events);
      return;
    case RegistryEdit::Kind::kDeleteTree:
      key = Lookup(root_, edit.keyPath);
      // The three roots hold the hives themselves; a file cannot remove them.
      if (key != nullptr && key != root_ && key != machineRoot_ && key != usersRoot_) {
        DeleteSubtree(key, nullptr, events);
      }
      return;
    case RegistryEdit::Kind::kSetValue:
      if (Walk(root_, edit.keyPath, WalkMode::kCreateHive, &key, nullptr, events) ==
              kErrorSuccess &&
          key != root_ && key != machineRoot_ && key != usersRoot_) {
        key->SetValue(edit.valueName, edit.type, edit.data);
        watches_.Changed(*key, kRegNotifyChangeLastSet, events);
      }
      return;
    case RegistryEdit::Kind::kDeleteValue:
      key = Lookup(root_, edit.keyPath);
      if (key != nullptr && key->RemoveValue(edit.valueName)) {
        watches_.Changed(*key, kRegNotifyChangeLastSet, events);
      }
      return;
  }
}

namespace {

void CopyInto(const RegistryKey& key, RegistryTreeCopy* copy) {
  copy->name = key.Name();
  copy->values = key.Values();
  for (const auto& [name, child] : key.Subkeys()) {
    if (child->IsLink()) continue;
    copy->subkeys.emplace_back();
    CopyInto(*child, &copy->subkeys.back());
  }
}

void CollectDeepestFirst(const std::shared_ptr<RegistryKey>& key,
                         std::vector<std::shared_ptr<RegistryKey>>* order) {
  for (const auto& [name, child] : key->Subkeys()) CollectDeepestFirst(child, order);
  order->push_back(key);
}

}  // namespace

std::optional<RegistryTreeCopy> RegistryStore::CopyTree(std::u16string_view keyPath) const {
  std::lock_guard lock(mutex_);
  KeyPtr key = Lookup(root_, keyPath);
  if (key == nullptr) return std::nullopt;
  RegistryTreeCopy copy;
  CopyInto(*key, &copy);
  return copy;
}

// Keys go one by one, deepest first, as RegDeleteTree removes them, so each deletion
// is reported and notified while its parent is still in the tree. Links inside the
// tree go as keys of their own; their targets stay.
void RegistryStore::DeleteSubtree(const KeyPtr& key, std::vector<RegistryChange>* changes,
                                  Events* events) {
  std::vector<KeyPtr> order;
  CollectDeepestFirst(key, &order);
  for (const KeyPtr& doomed : order) {
    RegistryKey* parent = doomed->Parent();
    if (parent == nullptr) continue;
    if (changes != nullptr) {
      changes->push_back({RegistryChange::Kind::kKeyDeleted, doomed->KernelPath(), u""});
    }
    watches_.Changed(*parent, kRegNotifyChangeName, events);
    parent->RemoveSubkey(doomed->Name());
  }
  watches_.KeysDeleted(events);
}

}  // namespace Emulated
