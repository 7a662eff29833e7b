#pragma once
// A value-set record whose data the driver had to cut: a record must fit one reply,
// so a driver sends a long value's first bytes only. The service completes such a
// record from the registry before it decodes it, so that the row gets the whole text.

#include <cstdint>
#include <vector>

#include "intake/driver_record.h"
#include "platform/system.h"

namespace Intake {

// True for a value-set record that may hold less than the value: it fills the whole
// reply, or its string data lacks the terminating NUL unit that a string value read
// whole ends with.
bool RecordDataMayBeCut(const DriverRecord& record);

// The record's data (key path, value name, value data) with the value data replaced
// by what the registry holds now, when that is the same type and begins with the
// bytes the record carried; a value changed again since then is left to its own
// record. Empty when the record is kept as it is.
std::vector<uint8_t> CompletedRecordData(Platform::System& system, const DriverRecord& record);

}  // namespace Intake
