#pragma once
// Which change events a history shows. Every filter set must hold (they combine);
// texts match a substring ignoring the case of A to Z.

#include <optional>
#include <string>

#include "reader/records.h"

namespace Reader {

struct HistoryFilter {
  std::string since;                 // "YYYY-MM-DD HH:MM:SS", inclusive; empty: no bound
  std::string until;                 // inclusive
  std::optional<int32_t> type;       // a load-point type number
  std::string typeName;              // "System setting" or "File extension" (folded)
  std::string entry, user, process;  // folded to lower case
  bool unattributed = false;         // only events with PROCESS_ENTRY_KEY 0

  bool Matches(const EventRecord& event) const;
};

// TIME as the user gives it: "YYYY-MM-DD[ HH:MM[:SS]]", or "24h"/"7d" counted back
// from latest (the newest event's time). A bound at the end of a window takes the
// last second of the day or minute given. False with a message for anything else.
bool ParseTimeBound(const std::string& text, bool endOfWindow, const std::string& latest,
                    std::string* bound, std::string* error);

// TYPE: a load-point type number 1 to 65, a type name as the listing prints it, or
// "System setting" / "File extension" (letter case ignored).
bool ParseTypeFilter(const std::string& text, HistoryFilter* filter, std::string* error);

// Lower case of A to Z only, as the system compares names.
std::string Folded(const std::string& text);

}  // namespace Reader
