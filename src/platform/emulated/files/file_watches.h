#pragma once
// Directory change notifications of the emulated drives (ReadDirectoryChangesW).
// The store reports each change of an entry here with the host path of the entry;
// every watch whose folder holds it (directly, or anywhere below for a subtree
// watch) and whose filter takes the kind of change keeps a record with the name
// relative to its folder. Guarded by the store's lock.
//
// As on Windows, a handle's first arm starts its watch, which then keeps records
// between reads, up to the armed buffer size: records that do not fit are all
// dropped and the next read reports the overflow. A watch follows its folder's
// host path: a watched folder that is renamed stops seeing changes (Windows would
// follow the folder), which nothing that watches folders here does.

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <vector>

#include "platform/file_notify_records.h"
#include "platform/win32_types.h"

namespace Emulated {

class DirectoryWatchList {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

  // handle is an open of folder (a directory) made for changes.
  void Opened(Handle handle, const std::filesystem::path& folder);
  bool Has(Handle handle) const { return watches_.count(handle) != 0; }
  // A read is pending or its result not collected: no new arm yet.
  bool Busy(Handle handle) const;
  // The handle closed: its watch ends, with a pending read.
  void Closed(Handle handle) { watches_.erase(handle); }

  // Arms a read (the caller has checked and reset event). *complete tells whether
  // kept records complete it at once, in which case the caller signals event.
  Win32Error Arm(Handle handle, uint32_t bufferBytes, bool subtree, uint32_t filter, Handle event,
                 bool* complete);
  Win32Error Collect(Handle handle, std::vector<uint8_t>* records);

  // One record of a change: entry had the given action; filterClass is the
  // kFileNotifyChange* bits it counts as.
  struct EntryChange {
    std::filesystem::path entry;
    uint32_t action = 0;
    uint32_t filterClass = 0;
  };
  // The records of one change (a rename's two names stay in one read). The events of
  // the reads it completes go to *events.
  void Changed(std::span<const EntryChange> changes, std::vector<Handle>* events);

 private:
  struct Watch {
    std::filesystem::path folder;
    bool started = false;  // armed at least once: records are kept from then on
    bool subtree = false;
    uint32_t filter = 0;
    uint32_t bufferBytes = 0;
    Handle event = 0;
    bool armed = false;      // a read waits for records
    bool completed = false;  // a read's result waits to be collected
    std::vector<Platform::FileNotifyRecord> kept;  // for the next read
    size_t keptBytes = 0;
    bool overflowed = false;
    std::vector<uint8_t> result;  // the completed read's records
    bool resultOverflowed = false;
  };

  // Keeps one record for the next read; past the buffer size, drops them all.
  static void Keep(Watch& watch, uint32_t action, std::u16string name);
  // Hands the kept records to the armed read.
  static void Complete(Watch& watch);

  std::map<Handle, Watch> watches_;
};

}  // namespace Emulated
