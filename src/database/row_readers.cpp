#include "database/row_readers.h"

#include "database/sql_text.h"

namespace Database {

RowReader::RowReader(std::span<const char* const> columns)
    : columns_(columns), positions_(columns.size(), -1) {}

// Positions are looked up once, but only after rows arrived: a reader consulted
// before its query ran must not pin every column to -1 for good.
int32_t RowReader::Position(size_t column) const {
  if (!resolved_ && result_.RowCount() > 0) {
    for (size_t i = 0; i < columns_.size(); ++i) positions_[i] = result_.ColumnIndex(columns_[i]);
    resolved_ = true;
  }
  return column < positions_.size() ? positions_[column] : -1;
}

int32_t RowReader::Int(size_t column, uint32_t row) const {
  const int32_t position = Position(column);
  int32_t value = -1;
  if (position < 0 || !result_.IntValue(row, position, &value)) return -1;
  return value;
}

std::u16string RowReader::Text(size_t column, uint32_t row) const {
  const int32_t position = Position(column);
  if (position < 0) return {};
  return FromUtf8(result_.Value(row, position));
}

std::vector<int32_t> NotifyListRows::NotifyKeys(uint32_t row) const {
  std::vector<int32_t> keys;
  const std::string text = ToUtf8(NOTIFY_KEYS(row));
  if (text.empty()) return keys;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    keys.push_back(ParseInt(std::string_view(text).substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return keys;
}

}  // namespace Database
