#pragma once
// What the fixed ChangeEvents row cannot say by itself: how the service learnt of a
// change that no process is known for, and whether a removal or an addition is a
// load point switched off or on again rather than one deleted or created. Both live
// in the additive table EventOrigin, one row per change event that needs it; an
// event without a row there is what the fixed tables alone say (a live event of the
// driver, with its process). Files written by earlier releases have no such table
// and read the same way.

#include <cstdint>

namespace Database {

// EventOrigin.ORIGIN
enum class ChangeOrigin : int32_t {
  kDriver = 0,        // the driver named the acting process (no row is written)
  kRescan = 1,        // a rescan found the row changed while nothing watched
  kNotification = 2,  // a change notification of Windows; no driver, so no process
};

// EventOrigin.STATE_CHANGE
enum class LoadPointStateChange : int32_t {
  kNone = 0,
  kDisabled = 1,      // a service set to Start 4, a task disabled: rows as for a removal
  kEnabledAgain = 2,  // the same load point back from disabled: rows as for an addition
};

}  // namespace Database
