#include "platform/emulated/registry/registry_watches.h"

#include <algorithm>

namespace Emulated {

template <typename Pred>
void RegistryWatchList::FireIf(Pred pred, std::vector<Platform::Handle>* events) {
  auto firing = std::stable_partition(watches_.begin(), watches_.end(),
                                      [&](const RegistryWatch& watch) { return !pred(watch); });
  for (auto it = firing; it != watches_.end(); ++it) events->push_back(it->event);
  watches_.erase(firing, watches_.end());
}

void RegistryWatchList::Changed(const RegistryKey& key, uint32_t kind,
                                std::vector<Platform::Handle>* events) {
  FireIf(
      [&](const RegistryWatch& watch) {
        if ((watch.filter & kind) == 0) return false;
        return watch.key.get() == &key || (watch.subtree && key.IsDescendantOf(watch.key.get()));
      },
      events);
}

void RegistryWatchList::HandleClosed(Platform::Handle handle,
                                     std::vector<Platform::Handle>* events) {
  FireIf([&](const RegistryWatch& watch) { return watch.handle == handle; }, events);
}

void RegistryWatchList::KeysDeleted(std::vector<Platform::Handle>* events) {
  FireIf([](const RegistryWatch& watch) { return watch.key->Deleted(); }, events);
}

}  // namespace Emulated
