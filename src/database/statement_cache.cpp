#include "database/statement_cache.h"

#include <sqlite3.h>

#include <cctype>

sqlite3_stmt* StatementCache::Get(sqlite3* db, const std::string& text) {
  const auto found = statements_.find(text);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size()) + 1, SQLITE_PREPARE_PERSISTENT,
                         &statement, &tail) != SQLITE_OK ||
      statement == nullptr) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  for (; tail != nullptr && *tail != '\0'; ++tail) {
    if (std::isspace(static_cast<unsigned char>(*tail)) == 0) {
      sqlite3_finalize(statement);
      return nullptr;
    }
  }
  if (statements_.size() >= kCapacity) Clear();
  statements_.emplace(text, statement);
  return statement;
}

void StatementCache::Clear() {
  for (auto& [text, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
}
