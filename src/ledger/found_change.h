#pragma once
// A change that a re-read of the machine found rather than the driver reported: a
// rescan that found a row added, changed or removed while nothing watched, or a
// change notification's re-read of the locations under one key or folder. Each
// such row gets its own change event, with no process (PROCESS_ENTRY_KEY 0), the
// ExtendedEvent that the family's live event carries (old and new text), and an
// EventOrigin row saying how the change was learnt; the row's CHANGE_EVENT_KEY
// points at the event. Written inside the re-read's own transaction.

#include <cstdint>
#include <string>

#include "database/event_origin.h"

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Ledger {

struct FoundChange {
  int32_t loadPointKey = 0;
  uint32_t eventType = 0;  // kEventLoadPointAdded, kEventLoadPointChanged or kEventLoadPointRemoved
  uint32_t lpType = 0;
  std::u16string entryName;
  std::u16string userId;
  std::u16string newValue;     // the command line found (empty for a removal)
  std::u16string oldValue;     // the command line stored before (empty for an addition)
  std::u16string displayName;  // the row's display name after the change
  std::u16string oldDisplayName;
  // A removal of a load point switched off, or an addition of one switched on again.
  Database::LoadPointStateChange stateChange = Database::LoadPointStateChange::kNone;
};

// Writes the event, its ExtendedEvent and its EventOrigin row, and links a row that
// still exists to it. The event's key, or 0 when it could not be written.
int32_t RecordFoundChange(Database::LoadPointDatabase& database, const FoundChange& change,
                          Database::ChangeOrigin origin);

}  // namespace Ledger
