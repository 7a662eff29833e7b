#pragma once
// Turning one row of the record's queries (record_queries.cpp) into a record.

#include "database/sql_statement.h"
#include "reader/record/records.h"

namespace Reader {

void ReadEventRow(const Database::SqlStatement& statement, EventRecord* record);
void ReadLoadPointRow(const Database::SqlStatement& statement, LoadPointRecord* record);

}  // namespace Reader
