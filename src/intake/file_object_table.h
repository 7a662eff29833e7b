#pragma once
// The file-object protocol: the driver reports every step of a file object's life,
// and the service keeps a small context per object so that it emits one FileEntry
// only when a file was created, renamed, written or deleted.
// Used only by the logger thread; no locks.

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "intake/driver_record.h"
#include "intake/system_log_entry.h"

namespace VyrUtilities {
class DriveMap;
}

namespace Intake {

struct FileObjectContext {
  using Pair = std::pair<uint64_t, uint64_t>;  // acting process and thread

  uint32_t detailFlag = 0;
  uint64_t key = 0;
  std::u16string name;  // the current name, kernel device form
  std::set<Pair> pendingPairs;
  std::list<Pair> markedPairs;
};

class FileObjectTable {
 public:
  FileObjectTable(Platform::System& system, VyrUtilities::DriveMap& driveMap)
      : system_(system), driveMap_(driveMap) {}

  // Runs one file record against its context; true when entry was filled and is to
  // be queued.
  bool Step(const DriverRecord& record, FileEntry& entry);

  size_t Size() const { return contexts_.size(); }
  const FileObjectContext* Find(uint64_t key) const;

 private:
  FileObjectContext& ContextOf(const DriverRecord& record);
  void Emit(FileEntry& entry, const FileObjectContext& context, FileObjectContext::Pair pair,
            uint32_t operation);
  bool Rename(const DriverRecord& record, FileObjectContext& context, FileEntry& entry);
  void Close(uint64_t key);

  using Contexts = std::map<uint64_t, FileObjectContext>;

  Platform::System& system_;
  VyrUtilities::DriveMap& driveMap_;
  Contexts contexts_;
  // Nodes of closed contexts, kept for the next objects: most objects live for a
  // handful of records, and a reused node brings its name's storage along.
  std::vector<Contexts::node_type> spareNodes_;
};

}  // namespace Intake
