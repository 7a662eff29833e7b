#pragma once
// Text at the SQLite boundary. The core keeps UTF-16; every value that goes into an
// SQL statement is converted here and nowhere else, so that what a query compares
// against is byte for byte what an insert stored.
//
// ToUtf8/FromUtf8 convert one UTF-16 code unit at a time and never combine surrogate
// pairs: each half is written as its own three-byte sequence. Files written by
// earlier releases were encoded this way, and lookups must keep matching them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Database {

// Each code unit on its own: 1, 2 or 3 bytes.
std::string ToUtf8(std::u16string_view wide);
// The same, appended to out.
void AppendUtf8(std::u16string_view wide, std::string& out);
// The inverse of ToUtf8. A sequence cut short by the end of the text ends the
// conversion; what was converted before it is kept.
std::u16string FromUtf8(std::string_view text);
// Text in the system's ANSI code page (only SQLite's error messages come this way).
std::u16string FromAnsi(std::string_view text);
// Doubles every single quote so the text can stand between quotes in SQL.
std::string EscapeQuotes(std::string_view text);
// A 32-bit signed integer as decimal text.
std::string FormatInt(int32_t value);
// A cell read as a signed decimal integer: leading digits count, anything else is 0.
int32_t ParseInt(std::string_view text);

// One statement: its text with a "?" where each value goes, and the values in
// order, so that a statement of the same shape is parsed once and run with new
// values (see statement_cache.h). Text values are converted by ToUtf8 and stored
// byte for byte as they were when they stood between quotes in the text. The texts
// share one buffer: a statement costs a few allocations, not one per value.
class SqlText {
 public:
  struct Value {
    bool isText = false;
    int32_t number = 0;
    uint32_t offset = 0;  // of a text in the buffer
    uint32_t length = 0;
  };

  // Enough for every statement but the Processes insert: one allocation.
  static constexpr size_t kTypicalValues = 8;

  explicit SqlText(std::string_view prefix) : sql_(prefix) { values_.reserve(kTypicalValues); }
  SqlText& Raw(std::string_view piece) {
    sql_ += piece;
    return *this;
  }
  SqlText& Int(int32_t value) {
    sql_ += '?';
    values_.push_back({.number = value});
    return *this;
  }
  SqlText& Text(std::u16string_view value);
  // The text with its parameters.
  const std::string& Str() const { return sql_; }
  const std::vector<Value>& Values() const { return values_; }
  // The UTF-8 of a text value.
  std::string_view TextOf(const Value& value) const { return {texts_.data() + value.offset, value.length}; }
  // A text value holds a NUL unit.
  bool HoldsNul() const { return holdsNul_; }
  // The statement with its values written in: numbers as decimal text, texts quoted
  // and escaped.
  std::string Literal() const;

 private:
  std::string sql_;
  std::vector<Value> values_;
  std::string texts_;
  bool holdsNul_ = false;
};

}  // namespace Database
