#pragma once
// What the families and the ledger work with: the database, the log, the settings and
// the machine, what the running rescan found of the machine's users and control
// sets, and the two engine services a family may need (watching a class's server,
// the process table). The engine implements it; nothing below the engine sees the
// engine object itself.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fileinfo/user_identity.h"
#include "ledger/rescan_state.h"
#include "platform/system.h"

namespace VyrUtilities {
class BrumevaleSettings;
class VyrLog;
}  // namespace VyrUtilities

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Intake {
class IProcessMonitor;
}  // namespace Intake

namespace Ledger {

class ProcessImageCache;

// Engine services a family reaches from below.
class ClassWatches {
 public:
  virtual ~ClassWatches() = default;
  // Watches the value valueName of root\path (no wildcards) under matcherCode, so that
  // a change to it comes back as an event carrying loadPointKey.
  virtual void WatchClass(Platform::Handle root, std::u16string_view path,
                          std::u16string_view valueName, uint32_t matcherCode,
                          int32_t loadPointKey) = 0;
};

class LedgerContext {
 public:
  virtual ~LedgerContext() = default;

  virtual Platform::System& System() = 0;
  virtual VyrUtilities::VyrLog& Log() = 0;
  virtual VyrUtilities::BrumevaleSettings* Settings() = 0;
  // Null when it could not be created; callers also check that it is open.
  virtual Database::LoadPointDatabase* Database() = 0;

  // The machine as the last rescan found it: profiles, the SIDs under HKEY_USERS and
  // their classes hives, the control sets and the service host's paths.
  virtual FileInfo::UserTable& Users() = 0;
  virtual std::set<std::u16string>& UserHives() = 0;
  virtual std::set<std::u16string>& UserClassesHives() = 0;
  virtual const std::vector<std::u16string>& ControlSets() const = 0;
  virtual const std::u16string& SvchostPath() const = 0;
  virtual const std::u16string& SvchostPathWow64() const = 0;
  // The running rescan's pending rows and snapshot.
  virtual FullScanState& ScanState() = 0;
  // True once the service has been told to stop (or the machine to shut down). A
  // cheap read that a rescan makes for every entry it looks at.
  virtual bool StopRequested() const = 0;

  virtual ClassWatches& ClassWatch() = 0;
  virtual const Intake::IProcessMonitor& ProcessTable() = 0;
  // What was read of the images of processes that made changes.
  virtual ProcessImageCache& ProcessImages() = 0;
};

}  // namespace Ledger
