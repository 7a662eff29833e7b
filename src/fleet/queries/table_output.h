#pragma once
// A query's answer as text (aligned columns), JSON (one object a line) or CSV
// (RFC 4180 with a header row).

#include <optional>
#include <string>
#include <vector>

namespace Fleet {

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
  std::vector<bool> numeric;  // per column: written as a JSON number
};

enum class OutputFormat { Text, Json, Csv };

bool ParseOutputFormat(const std::string& text, OutputFormat* format);
std::string FormatTable(const Table& table, OutputFormat format);

}  // namespace Fleet
