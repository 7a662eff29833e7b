#pragma once
// Links a file that a browser writes to the address it was downloaded from. The
// browser's helper records the address of a download under the per-user tracking
// key, named by the process and thread that fetch it ("pid:tid"); the thread that
// then writes the file is that thread or one it created. When the link is known the
// file gets the address in its "Brumevale.URL" stream.
// Used only by the periodic thread; no locks.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "intake/process_monitor.h"
#include "intake/system_log_entry.h"
#include "platform/system.h"

namespace VyrUtilities {
class VyrLog;
}

namespace Intake {

class ActivityTracker {
 public:
  ActivityTracker(Platform::System& system, const IProcessMonitor& processes,
                  VyrUtilities::VyrLog& log)
      : system_(system), processes_(processes), log_(log) {}

  void OnThreadEntry(const ThreadEntry& entry);
  void OnFileEntry(const FileEntry& entry);
  void OnDownloadEvent(const BrumevaleRegistryEvent& event);

  // Tags filePath when it is the download of address: a cache copy name[N].ext of
  // an address ending in name.ext, or the zone stream of the downloaded file. True
  // when the file is the download (the tag is then written, or its failure logged).
  bool RecordDownload(std::u16string_view filePath, std::u16string_view address,
                     std::u16string_view owner);
  // Writes the "Brumevale.URL" stream of filePath; true on success.
  bool WriteUrlTag(std::u16string_view filePath, std::u16string_view address,
                  std::u16string_view owner);

  // "pid:tid", the key of a thread in both tables.
  static std::u16string ThreadKey(uint64_t processId, uint64_t threadId);

  const std::map<std::u16string, std::u16string>& Addresses() const { return addresses_; }
  const std::map<std::u16string, std::u16string>& ThreadLinks() const { return threadLinks_; }

 private:
  bool WriteText(Platform::Handle file, std::u16string_view text, Platform::Win32Error& error);
  void LogTagFailure(std::u16string_view message, std::u16string_view filePath,
                     Platform::Win32Error error);

  Platform::System& system_;
  const IProcessMonitor& processes_;
  VyrUtilities::VyrLog& log_;
  // Thread key -> download address that thread fetches.
  std::map<std::u16string, std::u16string> addresses_;
  // Created thread's key -> the key of the thread that created it.
  std::map<std::u16string, std::u16string> threadLinks_;
};

}  // namespace Intake
