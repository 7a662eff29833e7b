#pragma once
// The change history of a machine, read from its database: one row per change
// event, oldest first. The reading and the formatting are the record library's;
// these names keep the simulator's report a thin call of it.

#include <string>
#include <vector>

#include "reader/history/event_format.h"
#include "reader/record/records.h"

namespace Sim {

using ChangeReportRow = Reader::EventRecord;
using Reader::ChangeEventName;

// Opens the database file read-only. False with a message naming the file.
bool ReadChangeHistory(const std::string& databaseHostPath, std::vector<ChangeReportRow>* rows,
                       std::string* error);

// accounts maps a SID to "DOMAIN\name" for the table; JSON keeps what is stored.
inline std::string FormatReportTable(const std::vector<ChangeReportRow>& rows,
                                     const Reader::AccountNames& accounts) {
  return Reader::EventsText(rows, accounts);
}
std::string FormatReportJsonLines(const std::vector<ChangeReportRow>& rows);

}  // namespace Sim
