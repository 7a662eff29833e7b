#pragma once
// The prepared statements of one connection, one for each statement text (a text
// with a "?" for each value), so that a statement run again with new values is not
// parsed again. Parsing was most of the time a statement took: a live event writes
// half a dozen short rows, and a burst of them ran at the parser's speed.
//
// Every statement handed out is reset; its user binds every parameter anew before
// each run (the texts bound last may be gone) and must reset it again after
// use: a statement left part-way keeps its read lock. The owner clears the cache
// before it closes the connection, which refuses to close while statements remain.

#include <cstddef>
#include <string>
#include <unordered_map>

#include "database/sql_connection.h"
#include "database/sql_statement.h"

namespace Database {

class StatementCache {
 public:
  StatementCache() = default;
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement of text on db, prepared at its first use; null when it cannot be
  // prepared (SQLite's message stays on the connection), or when text holds more
  // than one statement, which one prepared statement cannot run.
  SqlStatement* Get(SqlConnection& db, const std::string& text);
  // Finalises every statement.
  void Clear();

  // More texts than this are never in use: past it, the cache starts again.
  static constexpr size_t kCapacity = 128;

 private:
  std::unordered_map<std::string, SqlStatement> statements_;
};

}  // namespace Database
