// Bringing a LoadPoints table from an earlier release up to date.
//
// Earlier releases kept a QUARANTINE_KEY column in LoadPoints. The load-point
// inserts name no columns, so with that column present every new row fails. The
// column held nothing this release reads, so it is dropped; every row and every
// KEY stays, and so does the table's AUTOINCREMENT counter (keys are never
// reused). The whole conversion is one exclusive transaction: if any step fails it
// is rolled back and the file stays exactly as it was, to be tried again at the
// next open.


#include <strings.h>

#include "database/load_point_database.h"

namespace Database {

namespace {

constexpr char kLegacyColumn[] = "QUARANTINE_KEY";
constexpr char kOperation[] = "ConvertLoadPoints";

}  // namespace

bool LoadPointDatabase::HasLegacyQuarantineColumn() {
  QueryResult columns;
  if (!Execute("PRAGMA table_info(LoadPoints)", kOperation, true, &columns)) return false;
  const int32_t name = columns.ColumnIndex("name");
  for (uint32_t row = 0; row < columns.RowCount(); ++row) {
    if (strcasecmp(columns.Value(row, name).c_str(), kLegacyColumn) == 0) return true;
  }
  return false;
}

bool LoadPointDatabase::ConvertLegacyLoadPoints() {
  if (!HasLegacyQuarantineColumn()) return true;
  if (!Execute("BEGIN EXCLUSIVE TRANSACTION", kOperation, true)) return false;
  QueryResult count;
  const bool converted =
      Execute("ALTER TABLE LoadPoints DROP COLUMN QUARANTINE_KEY", kOperation, true) &&
      Execute("SELECT COUNT(*) AS ROWS_KEPT FROM LoadPoints", kOperation, true, &count) &&
      Execute("COMMIT TRANSACTION", kOperation, true);
  if (!converted) {
    // Nothing of a half-done conversion may reach the file.
    db_.Execute("ROLLBACK TRANSACTION");
    return false;
  }
  log_.Write(u"-Converted LoadPoints from an earlier schema: QUARANTINE_KEY removed, " +
                 FromAnsi(count.Value(0, 0)) + u" rows kept.",
             1, 1, 0);
  return true;
}

}  // namespace Database
