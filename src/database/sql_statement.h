#pragma once
// One prepared statement, finalised when it goes. Finalising (or Reset) ends the
// read the statement had begun: a statement kept part-way through its rows holds
// its read lock, which keeps the service's writes waiting.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_stmt;

namespace Database {

class SqlConnection;

enum class SqlStep { kRow, kDone, kFailed };
enum class SqlType { kInteger, kFloat, kText, kBlob, kNull };

class SqlStatement {
 public:
  SqlStatement() = default;
  // Prepares the first statement of sql; Ok is false when it cannot be prepared
  // (SQLite's message stays on the connection). persistent: kept for many runs.
  SqlStatement(SqlConnection& db, std::string_view sql, bool persistent = false);
  ~SqlStatement();
  SqlStatement(SqlStatement&& other) noexcept;
  SqlStatement& operator=(SqlStatement&& other) noexcept;
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  bool Ok() const { return statement_ != nullptr; }
  // What of sql followed the prepared statement (only white space for one statement).
  std::string_view Tail() const { return tail_; }

  // Parameters count from 1. A bound text is not copied: it must stay until the
  // statement is reset or bound again. False when SQLite refuses the value.
  bool Bind(int position, int64_t value);
  bool BindInt(int position, int32_t value);
  bool BindText(int position, std::string_view text);

  SqlStep Step();
  // Back to before the first row; the bound values stay.
  void Reset();

  // Of the current row; columns count from 0.
  int ColumnCount() const;
  const char* ColumnName(int column) const;
  // The first column named name, letter case ignored; -1 when there is none.
  int ColumnIndex(std::string_view name) const;
  SqlType Type(int column) const;
  int64_t Int64(int column) const;
  int32_t Int(int column) const;
  double Double(int column) const;
  // The cell as NUL-terminated text, null for NULL.
  const char* Text(int column) const;
  // The cell's bytes in SQLite's own buffer (a NUL inside included), empty for NULL.
  // Valid until the next Step, Reset or another accessor of the same column.
  std::string_view View(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  std::string_view tail_;
};

}  // namespace Database
