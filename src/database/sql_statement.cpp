#include "database/sql_statement.h"

#include <sqlite3.h>

#include <utility>

#include "database/sql_connection.h"

namespace Database {

SqlStatement::SqlStatement(SqlConnection& db, std::string_view sql, bool persistent) {
  const char* tail = nullptr;
  if (sqlite3_prepare_v3(db.Handle(), sql.data(), static_cast<int>(sql.size()),
                         persistent ? SQLITE_PREPARE_PERSISTENT : 0, &statement_, &tail) != SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    return;
  }
  if (tail != nullptr) tail_ = sql.substr(static_cast<size_t>(tail - sql.data()));
}

SqlStatement::~SqlStatement() { sqlite3_finalize(statement_); }

SqlStatement::SqlStatement(SqlStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), tail_(other.tail_) {}

SqlStatement& SqlStatement::operator=(SqlStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
    tail_ = other.tail_;
  }
  return *this;
}

bool SqlStatement::Bind(int position, int64_t value) {
  return sqlite3_bind_int64(statement_, position, value) == SQLITE_OK;
}

bool SqlStatement::BindInt(int position, int32_t value) {
  return sqlite3_bind_int(statement_, position, value) == SQLITE_OK;
}

bool SqlStatement::BindText(int position, std::string_view text) {
  return sqlite3_bind_text(statement_, position, text.data(), static_cast<int>(text.size()), SQLITE_STATIC) ==
         SQLITE_OK;
}

SqlStep SqlStatement::Step() {
  switch (sqlite3_step(statement_)) {
    case SQLITE_ROW: return SqlStep::kRow;
    case SQLITE_DONE: return SqlStep::kDone;
    default: return SqlStep::kFailed;
  }
}

void SqlStatement::Reset() { sqlite3_reset(statement_); }

int SqlStatement::ColumnCount() const { return sqlite3_column_count(statement_); }

const char* SqlStatement::ColumnName(int column) const { return sqlite3_column_name(statement_, column); }

int SqlStatement::ColumnIndex(std::string_view name) const {
  const std::string wanted(name);
  for (int i = 0; i < ColumnCount(); ++i) {
    if (sqlite3_stricmp(ColumnName(i), wanted.c_str()) == 0) return i;
  }
  return -1;
}

SqlType SqlStatement::Type(int column) const {
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_INTEGER: return SqlType::kInteger;
    case SQLITE_FLOAT: return SqlType::kFloat;
    case SQLITE_TEXT: return SqlType::kText;
    case SQLITE_BLOB: return SqlType::kBlob;
    default: return SqlType::kNull;
  }
}

int64_t SqlStatement::Int64(int column) const { return sqlite3_column_int64(statement_, column); }

int32_t SqlStatement::Int(int column) const { return sqlite3_column_int(statement_, column); }

double SqlStatement::Double(int column) const { return sqlite3_column_double(statement_, column); }

const char* SqlStatement::Text(int column) const {
  return reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
}

std::string_view SqlStatement::View(int column) const {
  // The text first, then its length: asking for the length first could measure a
  // different form of the cell than the one handed out.
  const char* text = Text(column);
  return text != nullptr ? std::string_view(text, sqlite3_column_bytes(statement_, column)) : std::string_view();
}

}  // namespace Database
