#pragma once
// The rows of one query as SQLite's row callback hands them over: every cell as
// text, NULL as the empty string. Columns are found by name because the same
// readers serve "SELECT *" and narrower column lists.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Database {

class QueryResult {
 public:
  // Cell text; a row or column outside the collected data is the empty string.
  const std::string& Value(uint32_t row, int32_t column) const;
  // False when out is null or nothing was collected; otherwise the cell as a signed
  // decimal integer (not a number, empty or missing: 0).
  bool IntValue(uint32_t row, int32_t column, int32_t* out) const;
  // Position of a column of the first row, -1 when there is no such column.
  int32_t ColumnIndex(const std::string& name) const;
  uint32_t RowCount() const { return static_cast<uint32_t>(rows_.size()); }

  // Called by CollectRow.
  void ReadHeader(int columnCount, char** names);
  void AppendRow(int columnCount, char** values);

 private:
  std::map<std::string, int32_t> columns_;
  std::vector<std::vector<std::string>> rows_;
  bool headerRead_ = false;
  std::string empty_;
};

// The sqlite3_exec callback of every query; context is a QueryResult. Always
// returns 0 so that SQLite hands over every row.
int CollectRow(void* context, int columnCount, char** values, char** names);

}  // namespace Database
