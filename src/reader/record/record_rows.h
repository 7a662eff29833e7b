#pragma once
// Turning one row of the record's queries (record_queries.cpp) into a record.

#include <sqlite3.h>

#include "reader/record/records.h"

namespace Reader {

void ReadEventRow(sqlite3_stmt* statement, EventRecord* record);
void ReadLoadPointRow(sqlite3_stmt* statement, LoadPointRecord* record);

}  // namespace Reader
