#include "platform/emulated/files/file_watches.h"

#include <optional>

#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;
namespace fs = std::filesystem;

namespace {

// The name of entry relative to folder, "sub\name" for an entry deeper down; none
// when the watch does not see it.
std::optional<std::u16string> RelativeName(const fs::path& folder, const fs::path& entry,
                                           bool subtree) {
  auto inFolder = folder.begin();
  auto inEntry = entry.begin();
  for (; inFolder != folder.end(); ++inFolder, ++inEntry) {
    if (inEntry == entry.end() || *inFolder != *inEntry) return std::nullopt;
  }
  std::u16string name;
  size_t depth = 0;
  for (; inEntry != entry.end(); ++inEntry, ++depth) {
    if (!name.empty()) name += u'\\';
    name += Utf8ToUtf16(inEntry->string());
  }
  if (depth == 0 || (depth > 1 && !subtree)) return std::nullopt;
  return name;
}

}  // namespace

void DirectoryWatchList::Opened(Handle handle, const fs::path& folder) {
  watches_[handle].folder = folder;
}

bool DirectoryWatchList::Busy(Handle handle) const {
  auto it = watches_.find(handle);
  return it != watches_.end() && (it->second.armed || it->second.completed);
}

Win32Error DirectoryWatchList::Arm(Handle handle, uint32_t bufferBytes, bool subtree,
                                   uint32_t filter, Handle event, bool* complete) {
  auto it = watches_.find(handle);
  if (it == watches_.end()) return kErrorInvalidParameter;
  Watch& watch = it->second;
  if (watch.armed || watch.completed) return kErrorInvalidParameter;
  watch.started = true;
  watch.subtree = subtree;
  watch.filter = filter;
  watch.bufferBytes = bufferBytes;
  watch.event = event;
  watch.armed = true;
  *complete = !watch.kept.empty() || watch.overflowed;
  if (*complete) Complete(watch);
  return kErrorSuccess;
}

void DirectoryWatchList::Complete(Watch& watch) {
  watch.resultOverflowed = watch.overflowed;
  watch.result = watch.overflowed ? std::vector<uint8_t>{} : EncodeFileNotifyRecords(watch.kept);
  watch.kept.clear();
  watch.keptBytes = 0;
  watch.overflowed = false;
  watch.armed = false;
  watch.completed = true;
}

Win32Error DirectoryWatchList::Collect(Handle handle, std::vector<uint8_t>* records) {
  auto it = watches_.find(handle);
  if (it == watches_.end()) return kErrorInvalidParameter;
  Watch& watch = it->second;
  if (watch.armed) return kErrorIoIncomplete;
  if (!watch.completed) return kErrorInvalidParameter;
  watch.completed = false;
  if (watch.resultOverflowed) return kErrorNotifyEnumDir;
  if (records != nullptr) *records = std::move(watch.result);
  watch.result.clear();
  return kErrorSuccess;
}

// A completed read's records are already fixed: later changes are kept for the
// next read, as the system keeps them between calls.
void DirectoryWatchList::Changed(std::span<const EntryChange> changes,
                                 std::vector<Handle>* events) {
  for (auto& [handle, watch] : watches_) {
    if (!watch.started) continue;
    bool seen = false;
    for (const EntryChange& change : changes) {
      if ((watch.filter & change.filterClass) == 0) continue;
      auto name = RelativeName(watch.folder, change.entry, watch.subtree);
      if (!name) continue;
      seen = true;
      Keep(watch, change.action, std::move(*name));
    }
    if (seen && watch.armed) {
      Complete(watch);
      events->push_back(watch.event);
    }
  }
}

void DirectoryWatchList::Keep(Watch& watch, uint32_t action, std::u16string name) {
  if (watch.overflowed) return;
  watch.keptBytes += FileNotifyRecordSize(name);
  watch.kept.push_back({action, std::move(name)});
  if (watch.keptBytes > watch.bufferBytes) {
    watch.overflowed = true;
    watch.kept.clear();
    watch.keptBytes = 0;
  }
}

}  // namespace Emulated
