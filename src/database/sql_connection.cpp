#include "database/sql_connection.h"

#include <sqlite3.h>

#include <utility>

namespace Database {

namespace {

int CallBusyHandler(void* handler, int attempt) {
  return (*static_cast<SqlConnection::BusyHandler*>(handler))(attempt) ? 1 : 0;
}

}  // namespace

SqlConnection::SqlConnection(SqlConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      open_(std::exchange(other.open_, false)),
      busy_(std::move(other.busy_)) {}

SqlConnection& SqlConnection::operator=(SqlConnection&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    open_ = std::exchange(other.open_, false);
    busy_ = std::move(other.busy_);
  }
  return *this;
}

bool SqlConnection::Open(const std::string& path, SqlAccess access, bool asUri) {
  Close();
  int flags = access == SqlAccess::kReadOnly ? SQLITE_OPEN_READONLY
                                             : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (asUri) flags |= SQLITE_OPEN_URI;
  open_ = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) == SQLITE_OK;
  return open_;
}

void SqlConnection::Close() {
  // Refuses (and keeps the file) while a statement of it is still prepared: every
  // statement belongs to an owner that goes first.
  sqlite3_close(db_);
  db_ = nullptr;
  open_ = false;
  busy_.reset();
}

void SqlConnection::WaitWhileBusy(std::chrono::milliseconds limit) {
  busy_.reset();
  sqlite3_busy_timeout(db_, static_cast<int>(limit.count()));
}

void SqlConnection::WaitWhileBusy(BusyHandler handler) {
  busy_ = std::make_unique<BusyHandler>(std::move(handler));
  sqlite3_busy_handler(db_, CallBusyHandler, busy_.get());
}

void SqlConnection::UseExtendedCodes() { sqlite3_extended_result_codes(db_, 1); }

bool SqlConnection::Execute(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool SqlConnection::InTransaction() const { return db_ != nullptr && sqlite3_get_autocommit(db_) == 0; }

int64_t SqlConnection::LastInsertKey() const { return sqlite3_last_insert_rowid(db_); }

std::string SqlConnection::ErrorMessage() const {
  return db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
}

SqlFailure SqlConnection::LastFailure() const {
  if (db_ == nullptr) return SqlFailure::kOther;
  switch (sqlite3_extended_errcode(db_) & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return SqlFailure::kNone;
    case SQLITE_BUSY: return SqlFailure::kBusy;
    case SQLITE_NOTADB: return SqlFailure::kNotADatabase;
    case SQLITE_CORRUPT: return SqlFailure::kCorrupt;
    default: return SqlFailure::kOther;
  }
}

}  // namespace Database
