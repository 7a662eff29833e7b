#include "ledger/scan_snapshot.h"

#include <limits>
#include <set>

#include "database/load_point_database.h"
#include "database/load_point_index.h"

using Database::LoadPointDatabase;
using Database::LoadPointIndex;
using Database::LoadPointRows;
using Database::QueryResult;

namespace Ledger {

namespace {

// The read found no rows: an empty table, or a failed query.
bool TableIsEmpty(LoadPointDatabase& database) {
  std::set<int32_t> keys;
  return database.RequestKeysFromTable(keys, u"LoadPoints") && keys.empty();
}

}  // namespace

bool ScanSnapshot::Load(LoadPointDatabase& database) {
  rows_.clear();
  LoadPointRows rows;
  // Every key, negative ones too: the lookup query does not care about the key.
  if (database.RequestLoadPointEntries(rows, false, std::numeric_limits<int32_t>::min()) != 1) {
    return rows.Count() == 0 && TableIsEmpty(database);
  }
  const QueryResult& cells = rows.Result();
  const int32_t userColumn = cells.ColumnIndex("USER_ID");
  const int32_t nameColumn = cells.ColumnIndex("ENTRY_NAME");
  if (userColumn < 0 || nameColumn < 0) return false;
  rows_.reserve(rows.Count());
  for (uint32_t row = 0; row < rows.Count(); ++row) {
    // Rows come in ascending key order; emplace keeps the first of an identity.
    rows_.emplace(LoadPointIndex::Identity(rows.LP_TYPE(row), std::string_view(cells.Value(row, userColumn)),
                                           std::string_view(cells.Value(row, nameColumn))),
                  Row{rows.KEY(row), rows.COMMAND_LINE(row), rows.DISPLAY_NAME(row)});
  }
  return true;
}

ScanSnapshot::Row* ScanSnapshot::Find(int32_t type, std::u16string_view userId,
                                      std::u16string_view entryName) {
  const auto identity = LoadPointIndex::Identity(type, userId, entryName);
  if (!identity) return nullptr;
  const auto found = rows_.find(*identity);
  return found == rows_.end() ? nullptr : &found->second;
}

void ScanSnapshot::Add(int32_t type, std::u16string_view userId, std::u16string_view entryName,
                       Row row) {
  if (const auto identity = LoadPointIndex::Identity(type, userId, entryName)) {
    rows_.emplace(*identity, std::move(row));
  }
}

}  // namespace Ledger
