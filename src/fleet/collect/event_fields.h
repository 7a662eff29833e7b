#pragma once
// The few fields of an event message the collector stores, read in one pass over
// its bytes: the whole text is checked as JSON, but no tree is built of it.

#include <cstdint>
#include <string>
#include <string_view>

namespace Fleet {

struct EventFields {
  std::string machineId, machine;
  int64_t key = 0;
  std::string eventTime;  // the ChangeEvents row's EVENT_TIME, the machine's local time
  // EVENT_TYPE, LOAD_POINT_KEY and PROCESS_ENTRY_KEY as their JSON numbers; empty for null.
  std::string eventType, loadPointKey, processEntryKey;
  // The UTC time of the event, as PostgreSQL reads a timestamptz, and the machine's
  // offset in minutes east of UTC (utcOffsetKnown false: see UtcTimeOf).
  std::string eventAt;
  int32_t utcOffset = 0;
  bool utcOffsetKnown = false;
};

// Why bytes are not a valid event message (the same reasons EventProblem gives for a
// parsed one), empty when they are one and fields holds what they say.
std::string ReadEventFields(std::string_view bytes, EventFields* fields);

}  // namespace Fleet
