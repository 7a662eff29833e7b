#pragma once
// RFC 4180 fields: quoted when they hold a comma, a quote or a line break, with
// quotes doubled; rows end in CRLF. Made safe to open in a spreadsheet: a cell that
// starts as a formula would ("=", "+", "-", "@", tab, carriage return) is written as
// text, with a leading apostrophe, and hidden direction and zero-width marks show as
// their codes.

#include <initializer_list>
#include <string>

namespace Reader {

std::string CsvField(const std::string& text);
std::string CsvRow(std::initializer_list<std::string> fields);

}  // namespace Reader
