#include "reader/text/csv_text.h"

#include "reader/text/safe_text.h"

namespace Reader {

std::string CsvField(const std::string& stored) {
  // A cell a spreadsheet would run as a formula gets a leading apostrophe, which the
  // spreadsheet shows as text and does not keep, and is quoted.
  const bool formula = StartsLikeFormula(stored);
  const std::string text = (formula ? "'" : "") + VisibleMarks(stored);
  if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
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
