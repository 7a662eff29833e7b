#pragma once
// Which change events a history shows. Every filter set must hold (they combine);
// texts match a substring ignoring the case of A to Z.

#include <optional>
#include <string>

#include "reader/record/records.h"

namespace Reader {

struct HistoryFilter {
  // Inclusive bounds: "YYYY-MM-DD HH:MM:SS" compared with the stored local times, or
  // "YYYY-MM-DD HH:MM:SSZ" (UTC) compared with each event's time less its offset;
  // empty: no bound.
  std::string since;
  std::string until;
  std::optional<int32_t> type;       // a load-point type number
  std::string typeName;              // "System setting" or "File extension" (folded)
  std::string entry, user, process;  // folded to lower case
  bool unattributed = false;         // only events with PROCESS_ENTRY_KEY 0

  bool Matches(const EventRecord& event) const;
};

// TIME as the user gives it: "YYYY-MM-DD[ HH:MM[:SS]]" in the record's local time;
// the same with "T" and "Z" or an offset ("2026-12-07T04:51:08+01:00", ISO 8601),
// an instant, made a UTC bound; or "30m", "2h", "7d" counted back from latest (the
// newest event's time). A bound at the end of a window takes the last second of the
// day or minute given. False with a message for an impossible date or anything else.
bool ParseTimeBound(const std::string& text, bool endOfWindow, const std::string& latest,
                    std::string* bound, std::string* error);

// False with a message when since lies after until. A UTC bound and a local one are
// compared as if the local one were UTC: the offset is a property of each event.
bool CheckWindow(const std::string& since, const std::string& until, std::string* error);

// TYPE: a load-point type number 1 to 65, a type name as the listing prints it, or
// "System setting" / "File extension" (letter case ignored).
bool ParseTypeFilter(const std::string& text, HistoryFilter* filter, std::string* error);

// Lower case of A to Z only, as the system compares names.
std::string Folded(const std::string& text);

}  // namespace Reader
