#include "reader/csv_text.h"

namespace Reader {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string CsvRow(std::initializer_list<std::string> fields) {
  std::string out;
  for (const std::string& field : fields) {
    if (!out.empty() || &field != fields.begin()) out += ',';
    out += CsvField(field);
  }
  return out + "\r\n";
}

}  // namespace Reader
