#include "ledger/process_image_cache.h"

#include "platform/system.h"

namespace Ledger {

namespace {

bool SameStamp(const Platform::FileAttributeData& a, const Platform::FileAttributeData& b) {
  return a.attributes == b.attributes && a.creationTime == b.creationTime &&
         a.lastWriteTime == b.lastWriteTime && a.size == b.size;
}

int64_t Now(Platform::System& system) {
  return static_cast<int64_t>(system.Environment().GetSystemTimeAsFileTime());
}

}  // namespace

void ProcessImageCache::BeginPass() {
  std::lock_guard lock(mutex_);
  ++pass_;
}

std::optional<Platform::FileAttributeData> ProcessImageCache::Stamp(Platform::System& system,
                                                                    const std::u16string& path) {
  Platform::FileAttributeData stamp;
  if (path.empty() || system.Files().GetFileAttributesEx(path, &stamp) != Platform::kErrorSuccess)
    return std::nullopt;
  return stamp;
}

std::shared_ptr<const ProcessFile> ProcessImageCache::Find(Platform::System& system,
                                                           const std::u16string& path, bool withinPass,
                                                           bool* lookedAt) {
  *lookedAt = false;
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end()) return nullptr;
  Entry& entry = found->second;
  if (!withinPass || entry.pass != pass_) {
    // A clock set back counts as expired too.
    const int64_t age = Now(system) - entry.readAt;
    const auto stamp = Stamp(system, path);
    if (age < 0 || age > kLifetime || !stamp || !SameStamp(*stamp, entry.stamp)) {
      entries_.erase(found);
      return nullptr;
    }
    entry.pass = pass_;
    *lookedAt = true;
  }
  return entry.file;
}

void ProcessImageCache::Replace(const std::u16string& path, std::shared_ptr<const ProcessFile> file) {
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found != entries_.end()) found->second.file = std::move(file);
}

void ProcessImageCache::Remember(Platform::System& system, const std::u16string& path,
                                 const Platform::FileAttributeData& stamp,
                                 std::shared_ptr<const ProcessFile> file) {
  const int64_t now = Now(system);
  std::lock_guard lock(mutex_);
  if (entries_.size() >= kCapacity && entries_.find(path) == entries_.end()) entries_.clear();
  entries_.insert_or_assign(path, Entry{stamp, now, pass_, std::move(file)});
}

size_t ProcessImageCache::Size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace Ledger
