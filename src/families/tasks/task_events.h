#pragma once
// Live changes of scheduled tasks. A task is known to the system through its
// task-cache key (a GUID subkey whose "Path" names the task) and its XML file below
// the tasks folder; either may change first, and each side looks the other up.

#include "families/common/load_point_handlers.h"

namespace Intake {
class BrumevaleFileEvent;
}  // namespace Intake

namespace Families {

// Folder codes 74 (native) and 75 (WOW64): a task file created, written or renamed
// into the folder. Appends one record per task-cache GUID whose row changed.
void HandleTaskFileEvent(Ledger::LedgerContext& context, const Intake::BrumevaleFileEvent& event,
                         Ledger::ChangeRecords& changes);

}  // namespace Families
