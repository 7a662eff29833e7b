#pragma once
// The layout of one database file as found: which tables and columns it has. The
// record's queries are built from it so that a column an older layout lacks reads
// as NULL (shown as empty) and a table it lacks joins nothing, and so that the
// legacy LoadPoints layout with QUARANTINE_KEY is read as it stands.

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "database/sql_connection.h"

namespace Reader {

class RecordSchema {
 public:
  // Reads the layout in one statement. False when the file cannot be read as a
  // database (the connection says why).
  bool Load(Database::SqlConnection& db);
  // Whether the file's layout may differ from the one loaded: SQLite counts every
  // change of it in the file's header, which is read, not the layout. True when
  // the count cannot be read.
  bool MayHaveChanged(Database::SqlConnection& db) const;

  // No table at all: a database nothing was ever written to.
  bool Empty() const { return tables_.empty(); }
  // The tables and columns without which no record can be read; *missing names the
  // first one absent.
  bool HasWhatRecordNeeds(std::string* missing) const;

  // "alias.COLUMN", or NULL when the table or column is absent.
  std::string Column(const std::string& table, const std::string& alias,
                     const std::string& column) const;
  bool Has(const std::string& table) const;
  // The join text when the table exists, else nothing.
  std::string Join(const std::string& table, const std::string& text) const;

  std::string EventQuery() const;      // parameters: after key, limit
  std::string LoadPointQuery() const;  // parameters: after key, limit

 private:
  std::map<std::string, std::set<std::string>> tables_;  // upper-case names
  int64_t version_ = -1;  // the count of layout changes, read before the layout
};

}  // namespace Reader
