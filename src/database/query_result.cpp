#include "database/query_result.h"

#include "database/sql_text.h"

namespace Database {

const std::string& QueryResult::Value(uint32_t row, int32_t column) const {
  if (row >= rows_.size() || column < 0) return empty_;
  const auto& cells = rows_[row];
  return static_cast<size_t>(column) < cells.size() ? cells[column] : empty_;
}

bool QueryResult::IntValue(uint32_t row, int32_t column, int32_t* out) const {
  if (out == nullptr || rows_.empty()) return false;
  *out = ParseInt(Value(row, column));
  return true;
}

int32_t QueryResult::ColumnIndex(const std::string& name) const {
  const auto found = columns_.find(name);
  return found == columns_.end() ? -1 : found->second;
}

void QueryResult::ReadHeader(int columnCount, char** names) {
  if (headerRead_) return;
  for (int i = 0; i < columnCount; ++i) {
    if (names != nullptr && names[i] != nullptr) columns_.emplace(names[i], i);  // first wins
  }
  headerRead_ = true;
}

void QueryResult::AppendRow(int columnCount, char** values) {
  std::vector<std::string> cells;
  cells.reserve(columnCount);
  for (int i = 0; i < columnCount; ++i) {
    cells.emplace_back(values != nullptr && values[i] != nullptr ? values[i] : "");
  }
  rows_.push_back(std::move(cells));
}

int CollectRow(void* context, int columnCount, char** values, char** names) {
  auto* result = static_cast<QueryResult*>(context);
  if (result == nullptr) return 0;
  result->ReadHeader(columnCount, names);
  result->AppendRow(columnCount, values);
  return 0;
}

}  // namespace Database
