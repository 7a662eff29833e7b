#include "ledger/found_change.h"

#include "database/load_point_database.h"
#include "ledger/change_record.h"
#include "util/text_routines.h"

using Database::ChangeOrigin;
using Database::LoadPointDatabase;
using Database::LoadPointStateChange;

namespace Ledger {

namespace {

// The ExtendedEvent a live event of the row's family carries: added with the value,
// changed with new and old value, a display name alone changed as a name change,
// removed with the old value. PARAM_1 is the display name where the row has one,
// as the families that keep display names write it, else the entry name.
void FillExtendedEvent(const FoundChange& change, LoadPointExtEventData& data) {
  const std::u16string& altName = change.eventType == kEventLoadPointRemoved
                                      ? change.oldDisplayName
                                      : change.displayName;
  if (change.eventType == kEventLoadPointAdded) {
    data.SetAdded(change.newValue, altName);
  } else if (change.eventType == kEventLoadPointRemoved) {
    data.SetDeleted(change.oldValue, altName);
  } else if (VyrUtilities::EqualsIgnoreCase(change.newValue, change.oldValue)) {
    data.SetNameChanged(change.displayName, change.oldDisplayName);
  } else {
    data.SetChanged(change.newValue, change.oldValue, altName);
  }
  data.SetLoadPoint(change.lpType, change.entryName, change.userId);
  data.SetProcessKey(0);
}

}  // namespace

int32_t RecordFoundChange(LoadPointDatabase& database, const FoundChange& change,
                          ChangeOrigin origin) {
  const int32_t eventKey = database.AddChangeEventEntry(
      u"", change.loadPointKey, 0, static_cast<int32_t>(change.eventType));
  if (eventKey <= 0) return 0;
  if (change.eventType != kEventLoadPointRemoved) {
    database.UpdateLoadPointEntry(change.loadPointKey, eventKey);
  }
  LoadPointExtEventData data;
  FillExtendedEvent(change, data);
  data.changeEventKey = eventKey;
  database.AddExtendedEventEntry(data);
  if (origin != ChangeOrigin::kDriver || change.stateChange != LoadPointStateChange::kNone) {
    database.AddEventOriginEntry(eventKey, origin, change.stateChange);
  }
  return eventKey;
}

}  // namespace Ledger
