#pragma once
// RFC 4180 fields: quoted when they hold a comma, a quote or a line break, with
// quotes doubled; rows end in CRLF.

#include <initializer_list>
#include <string>

namespace Reader {

std::string CsvField(const std::string& text);
std::string CsvRow(std::initializer_list<std::string> fields);

}  // namespace Reader
