#include "database/statement_cache.h"

#include <cctype>

namespace Database {

SqlStatement* StatementCache::Get(SqlConnection& db, const std::string& text) {
  const auto found = statements_.find(text);
  if (found != statements_.end()) return &found->second;
  SqlStatement statement(db, text, true);
  if (!statement.Ok()) return nullptr;
  for (const char c : statement.Tail()) {
    if (std::isspace(static_cast<unsigned char>(c)) == 0) return nullptr;
  }
  if (statements_.size() >= kCapacity) Clear();
  return &statements_.emplace(text, std::move(statement)).first->second;
}

void StatementCache::Clear() { statements_.clear(); }

}  // namespace Database
