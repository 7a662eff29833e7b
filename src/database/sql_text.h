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

// Each code unit on its own: 1, 2 or 3 bytes.
std::string ToUtf8(std::u16string_view wide);
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

// Builds the text of one statement from its fixed prefix. Text values are quoted,
// converted and escaped in that order (the escaping works on the bytes SQLite sees).
class SqlText {
 public:
  explicit SqlText(std::string_view prefix) : sql_(prefix) {}
  SqlText& Raw(std::string_view piece) {
    sql_ += piece;
    return *this;
  }
  SqlText& Int(int32_t value) {
    sql_ += FormatInt(value);
    return *this;
  }
  SqlText& Text(std::u16string_view value) {
    sql_ += '\'';
    sql_ += EscapeQuotes(ToUtf8(value));
    sql_ += '\'';
    return *this;
  }
  const std::string& Str() const { return sql_; }

 private:
  std::string sql_;
};
