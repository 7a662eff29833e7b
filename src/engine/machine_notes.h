#pragma once
// Facts about the machine kept beside the record, for whoever reads it later or
// elsewhere. Every time the service stores is local time text without an offset,
// and a user's rows carry only a SID: a reader on another machine, or after a
// change of time zone, could not tell when or who. Each rescan (the first at start,
// then every 300 seconds) notes the machine's offset from UTC (a row only when it
// changed) and the account name of every user profile (a row when it is new or
// renamed). A departure from the documented rescan, which writes the fixed tables
// only: the two additive tables leave those as they are, and without them a stored
// time or SID cannot be read without doubt.

#include <cstdint>

#include "database/load_point_database.h"
#include "platform/system.h"

namespace Engine {

// The machine's offset in minutes, east positive: local time minus UTC, read from
// the two clocks and rounded to the minute (the clocks are read a moment apart).
int32_t MachineUtcOffsetMinutes(Platform::Environment& environment);

// Writes the offset and the users' names; a failed write is logged by the database
// and the rescan goes on.
void NoteMachineFacts(Database::LoadPointDatabase& database, Platform::System& system);

}  // namespace Engine
