#pragma once
// Handles that belong to the process that opened them, numbered from a range of
// their own so that a handle of one kind passed where another kind is expected is
// not mistaken for one. Another process's handle reads as no handle, as on Windows.
// Not thread-safe by itself: its owner guards it.

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win32_types.h"

namespace Emulated {

template <typename Target>
class OwnedHandles {
 public:
  explicit OwnedHandles(Platform::Handle first) : next_(first) {}

  Platform::Handle Open(uint32_t owner, Target target) {
    const Platform::Handle handle = next_;
    next_ += 4;
    entries_.emplace(handle, Entry{owner, std::move(target)});
    return handle;
  }

  // What the handle refers to when owner holds it, else null.
  const Target* Find(uint32_t owner, Platform::Handle handle) const {
    auto it = entries_.find(handle);
    return it == entries_.end() || it->second.owner != owner ? nullptr : &it->second.target;
  }

  // Closes the handle and gives back what it referred to; nothing when owner does
  // not hold it.
  std::optional<Target> Close(uint32_t owner, Platform::Handle handle) {
    auto it = entries_.find(handle);
    if (it == entries_.end() || it->second.owner != owner) return std::nullopt;
    Target target = std::move(it->second.target);
    entries_.erase(it);
    return target;
  }

  // Closes every handle of owner, as Windows does when a process ends, and gives
  // back what they referred to.
  std::vector<Target> CloseAll(uint32_t owner) {
    std::vector<Target> closed;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->second.owner != owner) {
        ++it;
        continue;
      }
      closed.push_back(std::move(it->second.target));
      it = entries_.erase(it);
    }
    return closed;
  }

 private:
  struct Entry {
    uint32_t owner = 0;
    Target target;
  };
  std::map<Platform::Handle, Entry> entries_;
  Platform::Handle next_;
};

}  // namespace Emulated
