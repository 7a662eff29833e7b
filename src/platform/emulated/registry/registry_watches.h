#pragma once
// Pending change notifications (RegNotifyChangeKeyValue). Each watch fires once:
// the store collects the events of the watches a change fires and signals them
// after it has let go of its lock. Guarded by the store's lock.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/emulated/registry/registry_key.h"
#include "platform/win32_types.h"

namespace Emulated {

struct RegistryWatch {
  Platform::Handle handle = 0;  // the key handle the watch was armed on
  std::shared_ptr<RegistryKey> key;
  bool subtree = false;
  uint32_t filter = 0;
  Platform::Handle event = 0;
};

class RegistryWatchList {
 public:
  void Add(RegistryWatch watch) { watches_.push_back(std::move(watch)); }
  size_t Size() const { return watches_.size(); }
  // A change of kind (kRegNotifyChangeName or kRegNotifyChangeLastSet) at key, which
  // must still be attached to the tree so that subtree watches above it see it.
  void Changed(const RegistryKey& key, uint32_t kind, std::vector<Platform::Handle>* events);
  // Closing a key completes its pending watches, as Windows does.
  void HandleClosed(Platform::Handle handle, std::vector<Platform::Handle>* events);
  // Watches on keys that were deleted complete as well: nothing more can change there.
  void KeysDeleted(std::vector<Platform::Handle>* events);

 private:
  template <typename Pred>
  void FireIf(Pred pred, std::vector<Platform::Handle>* events);

  std::vector<RegistryWatch> watches_;
};

}  // namespace Emulated
