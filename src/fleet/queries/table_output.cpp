#include "fleet/queries/table_output.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "reader/text/csv_text.h"
#include "reader/history/event_format.h"

namespace Fleet {
namespace {

std::string TextTable(const Table& table) {
  std::vector<size_t> width(table.columns.size());
  for (size_t c = 0; c < table.columns.size(); ++c) width[c] = table.columns[c].size();
  for (const auto& row : table.rows)
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], Reader::Shown(row[c].value_or("")).size());
  auto line = [&](const std::vector<std::string>& cells) {
    std::string out;
    for (size_t c = 0; c < cells.size(); ++c) {
      out += cells[c];
      if (c + 1 < cells.size()) out += std::string(width[c] - cells[c].size() + 2, ' ');
    }
    return out + "\n";
  };
  std::string out = line(table.columns);
  for (const auto& row : table.rows) {
    std::vector<std::string> cells;
    for (const auto& cell : row) cells.push_back(Reader::Shown(cell.value_or("")));
    out += line(cells);
  }
  return out;
}

std::string JsonLines(const Table& table) {
  std::string out;
  for (const auto& row : table.rows) {
    nlohmann::ordered_json line = nlohmann::ordered_json::object();
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const bool number = c < table.numeric.size() && table.numeric[c] && row[c];
      line[table.columns[c]] = !row[c] ? nlohmann::ordered_json(nullptr)
                               : number ? nlohmann::ordered_json(std::stoll(*row[c]))
                                        : nlohmann::ordered_json(*row[c]);
    }
    out += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return out;
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t c = 0; c < cells.size(); ++c) out += (c ? "," : "") + Reader::CsvField(cells[c]);
  return out + "\r\n";
}

}  // namespace

bool ParseOutputFormat(const std::string& text, OutputFormat* format) {
  if (text == "text") *format = OutputFormat::Text;
  else if (text == "json") *format = OutputFormat::Json;
  else if (text == "csv") *format = OutputFormat::Csv;
  else return false;
  return true;
}

std::string FormatTable(const Table& table, OutputFormat format) {
  if (format == OutputFormat::Json) return JsonLines(table);
  if (format == OutputFormat::Text) return TextTable(table);
  std::string out = CsvLine(table.columns);
  for (const auto& row : table.rows) {
    std::vector<std::string> cells;
    for (const auto& cell : row) cells.push_back(cell.value_or(""));
    out += CsvLine(cells);
  }
  return out;
}

}  // namespace Fleet
