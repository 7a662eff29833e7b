#include "ledger/scan_snapshot.h"

#include <limits>
#include <set>

#include "database/load_point_database.h"

namespace {

// Type, user and name in one string. The user ends at a NUL byte, which neither text
// holds: stored texts come back from SQLite up to their first NUL.
std::string Identity(int32_t type, std::string_view userId, std::string_view entryName) {
  std::string identity(reinterpret_cast<const char*>(&type), sizeof type);
  identity.reserve(sizeof type + userId.size() + 1 + entryName.size());
  identity.append(userId).push_back('\0');
  identity.append(entryName);
  return identity;
}

// A text with a NUL unit ends the statement text inside its quotes, so the lookup
// query fails and finds nothing; the snapshot answers the same.
bool HoldsNul(std::u16string_view text) { return text.find(u'\0') != std::u16string_view::npos; }

// The read found no rows: an empty table, or a failed query.
bool TableIsEmpty(LoadPointDatabase& database) {
  std::set<int32_t> keys;
  return database.RequestKeysFromTable(keys, u"LoadPoints") == 1 && keys.empty();
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
    rows_.emplace(Identity(rows.LP_TYPE(row), cells.Value(row, userColumn),
                           cells.Value(row, nameColumn)),
                  Row{rows.KEY(row), rows.COMMAND_LINE(row), rows.DISPLAY_NAME(row)});
  }
  return true;
}

ScanSnapshot::Row* ScanSnapshot::Find(int32_t type, std::u16string_view userId,
                                      std::u16string_view entryName) {
  if (HoldsNul(userId) || HoldsNul(entryName)) return nullptr;
  const auto found = rows_.find(Identity(type, ToUtf8(userId), ToUtf8(entryName)));
  return found == rows_.end() ? nullptr : &found->second;
}

void ScanSnapshot::Add(int32_t type, std::u16string_view userId, std::u16string_view entryName,
                       Row row) {
  if (HoldsNul(userId) || HoldsNul(entryName)) return;
  rows_.emplace(Identity(type, ToUtf8(userId), ToUtf8(entryName)), std::move(row));
}
