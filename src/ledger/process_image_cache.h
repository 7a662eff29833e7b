#pragma once
// What was read of the image files of the processes that made changes, kept across
// dispatch passes. A program that changes its Run value now and then, or a script
// that runs the same tool for each of its changes, had its image read, hashed and
// checked again for every event: most of what a single event cost beyond its
// commit. What is read depends on the file only, so entries are kept by path.
//
// An entry is used again while its file still stands as it was read (same size,
// creation and last-write times, attributes) and for at most kLifetime: a signature's
// verdict also depends on the machine's trust (catalogs, revocations, the time),
// which can change while a program runs. The download tag is a stream of its own
// that can be written without touching the file, so the caller reads it again
// whenever an entry is looked at anew. Within one dispatch pass an image is looked
// at once, as a burst is mostly one process. Safe to use from several threads.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "ledger/process_file.h"
#include "platform/file_system.h"
#include "platform/file_time.h"

namespace Platform {
class System;
}

namespace Ledger {

class ProcessImageCache {
 public:
  // One minute, in the 100 ns units of a FILETIME.
  static constexpr int64_t kLifetime = 60 * Platform::kFileTimeTicksPerSecond;
  // Far more images than make changes within a minute; past it the cache restarts.
  static constexpr size_t kCapacity = 256;

  // A dispatch pass begins: an image found valid in it is not looked at again
  // before the next one, by a caller inside the pass.
  void BeginPass();
  // The image as it stands now; none when it cannot be looked at.
  static std::optional<Platform::FileAttributeData> Stamp(Platform::System& system,
                                                          const std::u16string& path);
  // What was read of the image at path, when it may still be used; none otherwise.
  // *lookedAt tells whether the entry was checked against the file now, rather than
  // taken as it was earlier in the pass: its download data must then be read again.
  std::shared_ptr<const ProcessFile> Find(Platform::System& system, const std::u16string& path,
                                          bool withinPass, bool* lookedAt);
  // The entry of path with its download data read again; its age stays.
  void Replace(const std::u16string& path, std::shared_ptr<const ProcessFile> file);
  // Keeps what was read of the image at path, which stood as stamp before the read.
  void Remember(Platform::System& system, const std::u16string& path,
                const Platform::FileAttributeData& stamp, std::shared_ptr<const ProcessFile> file);
  size_t Size() const;

 private:
  struct Entry {
    Platform::FileAttributeData stamp;
    int64_t readAt = 0;
    uint64_t pass = 0;
    std::shared_ptr<const ProcessFile> file;
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::u16string, Entry> entries_;
  uint64_t pass_ = 1;
};

}  // namespace Ledger
