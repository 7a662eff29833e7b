#pragma once
// The tree of watched registry locations. Each root kind (machine, any user's hive,
// any user's classes hive) has a tree of key-name components; a "*" component is a
// wildcard child that stands for any one key name. A node holds key-level entries
// (any value of the key) and value-level entries by value name (the empty name is
// the default value). An entry is a matcher code with an extra number: 0 for the
// catalogue's locations, the LoadPoints KEY of the load point for a class watch.
// Built on the thread that initialises the engine, then read and extended only on
// the periodic thread; no lock.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "intake/registry_key_path.h"
#include "platform/win32_types.h"

namespace Intake {
class BrumevaleRegistryEvent;
class RegistryEntry;
}  // namespace Intake

namespace Engine {

struct WatchEntry {
  uint32_t code;
  int32_t extraNumber;
};

// Key and value names order and match ignoring the case of A to Z.
struct KeyNameLess {
  bool operator()(std::u16string_view a, std::u16string_view b) const;
  using is_transparent = void;
};

class RegistryEventMatcher {
 public:
  struct Node {
    std::u16string name;
    std::map<std::u16string, std::unique_ptr<Node>, KeyNameLess> children;
    std::unique_ptr<Node> wildcard;
    std::vector<WatchEntry> keyEntries;
    std::map<std::u16string, std::vector<WatchEntry>, KeyNameLess> valueEntries;
    Node* parent = nullptr;
  };

  // The node of path, created with every missing level ("*" components become the
  // wildcard child when the path was built with the wildcard flag).
  Node& NodeOf(const Intake::RegistryKeyPath& path);
  // The root node of a root kind, or null when nothing is watched there.
  const Node* Root(Intake::RegistryRootKind kind) const;
  // The node reached by the walk rule: a named child is always preferred and a later
  // failure does not come back to the wildcard. Null when the walk fails.
  const Node* Walk(const Intake::RegistryKeyPath& path) const;
  // The walk of a key path as the driver writes it ("\REGISTRY\..."); null when it
  // does not parse or the walk fails. The last path's answer is kept until the table
  // changes: a burst names the same key again and again. One thread at a time.
  const Node* WalkNative(std::u16string_view nativePath) const;
  // The path WalkNative parsed last; its events take it rather than parse it again.
  const Intake::RegistryKeyPath& LastParsed() const { return lastParsed_; }

 private:
  std::map<uint32_t, std::unique_ptr<Node>> roots_;
  mutable bool lastValid_ = false;
  mutable std::u16string lastPath_;
  mutable Intake::RegistryKeyPath lastParsed_;
  mutable const Node* lastNode_ = nullptr;
};

// Fills the table with every catalogue location, settings location, file-extension
// location and the download-tracking key, from the families' declarations.
void BuildRegistryWatchTable(RegistryEventMatcher& matcher);

// A key-level entry with extra number 0.
void AddKeyWatch(RegistryEventMatcher& matcher, const Intake::RegistryKeyPath& path, uint32_t code);
// A value-level entry when valueName is not empty or forceValue is 1 (the default
// value), else a key-level entry.
void AddValueWatch(RegistryEventMatcher& matcher, const Intake::RegistryKeyPath& path,
                   std::u16string_view valueName, uint32_t code, int32_t forceValue,
                   int32_t extraNumber);
// A value-level entry on a path without wildcards; rootHandle is a predefined key
// (HKEY_LOCAL_MACHINE or HKEY_USERS). Used for the classes named by load points.
void AddClassWatch(RegistryEventMatcher& matcher, Platform::Handle rootHandle,
                   std::u16string_view path, std::u16string_view valueName, uint32_t code,
                   int32_t extraNumber);

// Appends one new event per watch entry that the registry entry touches, in the
// collection order (value-level entries of the value, then key-level entries; for a
// deleted key every entry at and below it through named components). Non-zero when
// at least one event was appended.
int32_t Match(const RegistryEventMatcher& matcher, const Intake::RegistryEntry& entry,
              std::vector<std::unique_ptr<Intake::BrumevaleRegistryEvent>>& outEvents);

}  // namespace Engine
