#pragma once
// One read transaction over the statements made while it lives. Each statement
// outside a transaction reads the file as it stands when that statement starts;
// inside one, every statement reads the same state of the file, however the
// service writes in between. It also takes and drops one shared lock instead of
// one per statement (each lock, unlock and check for a journal is a round trip
// through the Wine server under Wine). A read that fails is left to its
// statement's own check.

#include "database/sql_connection.h"

namespace Database {

class SqlReadTransaction {
 public:
  explicit SqlReadTransaction(SqlConnection& db) : db_(db), open_(db.Execute("BEGIN")) {}
  ~SqlReadTransaction() {
    if (open_) db_.Execute("COMMIT");
  }
  SqlReadTransaction(const SqlReadTransaction&) = delete;
  SqlReadTransaction& operator=(const SqlReadTransaction&) = delete;

 private:
  SqlConnection& db_;
  bool open_;
};

}  // namespace Database
