// Queries built from the layout at hand. The column order of each query is the
// order the row readers (record_rows.cpp) take them in.

#include "reader/record/record_schema.h"

#include <cctype>

#include "database/sql_statement.h"

using Database::SqlConnection;
using Database::SqlStatement;
using Database::SqlStep;

namespace Reader {
namespace {

std::string Upper(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Needed {
  const char* table;
  const char* columns[5];
};
constexpr Needed kNeeded[] = {
    {"CHANGEEVENTS", {"KEY", "EVENT_TIME", "PROCESS_ENTRY_KEY", "LOAD_POINT_KEY", nullptr}},
    {"LOADPOINTS", {"KEY", "LP_TYPE", "USER_ID", "ENTRY_NAME", "COMMAND_LINE"}},
};

// SQLite's count of layout changes, -1 when it cannot be read.
int64_t LayoutVersion(SqlConnection& db) {
  SqlStatement statement(db, "PRAGMA schema_version");
  return statement.Ok() && statement.Step() == SqlStep::kRow ? statement.Int64(0) : -1;
}

}  // namespace

bool RecordSchema::Load(SqlConnection& db) {
  // Read first: a change made between the two reads is then seen as one still to
  // come, and the layout read once more.
  version_ = LayoutVersion(db);
  constexpr char kLayout[] =
      "SELECT m.name, p.name FROM sqlite_master m JOIN pragma_table_info(m.name) p "
      "WHERE m.type = 'table'";
  SqlStatement statement(db, kLayout);
  if (!statement.Ok()) return false;
  SqlStep step;
  while ((step = statement.Step()) == SqlStep::kRow) {
    tables_[Upper(statement.Text(0))].insert(Upper(statement.Text(1)));
  }
  return step == SqlStep::kDone;
}

bool RecordSchema::MayHaveChanged(SqlConnection& db) const {
  const int64_t now = LayoutVersion(db);
  return now < 0 || now != version_;
}

bool RecordSchema::HasWhatRecordNeeds(std::string* missing) const {
  for (const Needed& needed : kNeeded) {
    const auto table = tables_.find(needed.table);
    for (const char* column : needed.columns) {
      if (column == nullptr) break;
      if (table == tables_.end() || table->second.count(column) == 0) {
        *missing = std::string(needed.table == kNeeded[0].table ? "ChangeEvents" : "LoadPoints") +
                   "." + column;
        return false;
      }
    }
  }
  return true;
}

std::string RecordSchema::Column(const std::string& table, const std::string& alias,
                                 const std::string& column) const {
  const auto found = tables_.find(Upper(table.c_str()));
  if (found == tables_.end() || found->second.count(column) == 0) return "NULL";
  return alias + "." + column;
}

bool RecordSchema::Has(const std::string& table) const { return tables_.count(Upper(table.c_str())) != 0; }

std::string RecordSchema::Join(const std::string& table, const std::string& text) const {
  return tables_.count(Upper(table.c_str())) ? " " + text : "";
}

}  // namespace Reader
