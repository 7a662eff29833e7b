#include "engine/registry_event_matcher.h"

#include <algorithm>

#include "intake/brumevale_event.h"
#include "intake/registry_entry.h"
#include "util/text_routines.h"

using Intake::BrumevaleRegistryEvent;
using Intake::RegistryEntry;
using Intake::RegistryKeyPath;
using Intake::RegistryRootKind;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;

namespace Engine {

namespace {

using Node = RegistryEventMatcher::Node;
using EventList = std::vector<std::unique_ptr<BrumevaleRegistryEvent>>;

void AppendEvents(const RegistryEntry& entry, const RegistryKeyPath& path,
                  const std::vector<WatchEntry>& watches, EventList& outEvents) {
  for (const WatchEntry& watch : watches) {
    outEvents.push_back(
        std::make_unique<BrumevaleRegistryEvent>(entry, path, watch.code, watch.extraNumber));
  }
}

// A deleted key takes every location at and below it: per node the value-level lists
// by value name, then the key-level entries, then the named children, all in name
// order. Wildcard children stay unvisited: a key deletion reaches only locations
// below it through named components, the others are settled by the next rescan.
void CollectSubtree(const RegistryEntry& entry, const RegistryKeyPath& path, const Node& node,
                    EventList& outEvents) {
  for (const auto& [valueName, watches] : node.valueEntries) AppendEvents(entry, path, watches, outEvents);
  AppendEvents(entry, path, node.keyEntries, outEvents);
  for (const auto& [childName, child] : node.children) CollectSubtree(entry, path, *child, outEvents);
}

void CollectValue(const RegistryEntry& entry, const RegistryKeyPath& path, const Node& node,
                  EventList& outEvents) {
  const auto values = node.valueEntries.find(entry.ValueName());
  if (values != node.valueEntries.end()) AppendEvents(entry, path, values->second, outEvents);
  AppendEvents(entry, path, node.keyEntries, outEvents);
}

}  // namespace

bool KeyNameLess::operator()(std::u16string_view a, std::u16string_view b) const {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        return VyrUtilities::FoldAscii(x) < VyrUtilities::FoldAscii(y);
      });
}

Node& RegistryEventMatcher::NodeOf(const RegistryKeyPath& path) {
  // A new node can change where an earlier walk ends.
  lastValid_ = false;
  std::unique_ptr<Node>& root = roots_[path.Root()];
  if (!root) root = std::make_unique<Node>();
  Node* node = root.get();
  for (const std::u16string& component : path.Components()) {
    const bool wildcard = path.Wildcard() != 0 && component == u"*";
    std::unique_ptr<Node>& child = wildcard ? node->wildcard : node->children[component];
    if (!child) {
      child = std::make_unique<Node>();
      child->name = component;
      child->parent = node;
    }
    node = child.get();
  }
  return *node;
}

const Node* RegistryEventMatcher::Root(RegistryRootKind kind) const {
  const auto root = roots_.find(kind);
  return root == roots_.end() ? nullptr : root->second.get();
}

const Node* RegistryEventMatcher::Walk(const RegistryKeyPath& path) const {
  const Node* node = Root(path.Root());
  for (size_t i = 0; node != nullptr && i < path.ComponentCount(); ++i) {
    const auto named = node->children.find(path.Component(i));
    node = named != node->children.end() ? named->second.get() : node->wildcard.get();
  }
  return node;
}

const Node* RegistryEventMatcher::WalkNative(std::u16string_view nativePath) const {
  if (lastValid_ && nativePath == lastPath_) return lastNode_;
  lastParsed_ = RegistryKeyPath();
  lastNode_ = lastParsed_.ParseNative(nativePath, 0) ? Walk(lastParsed_) : nullptr;
  lastPath_.assign(nativePath);
  lastValid_ = true;
  return lastNode_;
}

int32_t Match(const RegistryEventMatcher& matcher, const RegistryEntry& entry,
              std::vector<std::unique_ptr<BrumevaleRegistryEvent>>& outEvents) {
  const Node* node = matcher.WalkNative(entry.KeyPath());
  if (node == nullptr) return 0;
  const size_t before = outEvents.size();
  switch (entry.Operation()) {
    case kRegistryValueSet:
    case kRegistryValueDeleted: CollectValue(entry, matcher.LastParsed(), *node, outEvents); break;
    case kRegistryKeyDeleted: CollectSubtree(entry, matcher.LastParsed(), *node, outEvents); break;
    default: break;
  }
  return outEvents.size() > before ? 1 : 0;
}

void AddKeyWatch(RegistryEventMatcher& matcher, const RegistryKeyPath& path, uint32_t code) {
  AddValueWatch(matcher, path, u"", code, 0, 0);
}

void AddValueWatch(RegistryEventMatcher& matcher, const RegistryKeyPath& path,
                   std::u16string_view valueName, uint32_t code, int32_t forceValue,
                   int32_t extraNumber) {
  Node& node = matcher.NodeOf(path);
  const WatchEntry watch{code, extraNumber};
  if (!valueName.empty() || forceValue == 1) {
    node.valueEntries[std::u16string(valueName)].push_back(watch);
  } else {
    node.keyEntries.push_back(watch);
  }
}

void AddClassWatch(RegistryEventMatcher& matcher, Platform::Handle rootHandle,
                   std::u16string_view path, std::u16string_view valueName, uint32_t code,
                   int32_t extraNumber) {
  RegistryKeyPath keyPath;
  keyPath.Assign(RegistryKeyPath::RootKindOfHandle(rootHandle), path, 0);
  AddValueWatch(matcher, keyPath, valueName, code, 1, extraNumber);
}

}  // namespace Engine
