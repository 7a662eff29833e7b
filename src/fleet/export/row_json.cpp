#include "fleet/export/row_json.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "reader/text/json_text.h"

using Database::SqlStatement;
using Database::SqlType;

namespace Fleet {
namespace {

// The library's printer appending to out; one serves any number of values.
class Printer {
 public:
  explicit Printer(std::string* out)
      : printer_(nlohmann::detail::output_adapter<char, std::string>(*out), ' ',
                 nlohmann::json::error_handler_t::replace) {}
  void Dump(const nlohmann::json& value) { printer_.dump(value, false, false, 0); }

 private:
  nlohmann::detail::serializer<nlohmann::json> printer_;
};

void AppendDump(const nlohmann::json& value, std::string* out) { Printer(out).Dump(value); }

}  // namespace

// ASCII text is escaped by the reader's AppendJsonText, straight from SQLite's own
// buffer. Text beyond ASCII goes through the library instead: the reader passes
// UTF-8 through unchecked, while the dump replaces broken sequences.
void AppendJsonString(std::string_view text, std::string* out) {
  if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    AppendDump(nlohmann::json(std::string(text)), out);
    return;
  }
  Reader::AppendJsonText(text, out);
}

std::vector<int> MemberOrder(const SqlStatement& stmt) {
  std::vector<int> order(stmt.ColumnCount());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  const auto name = [&stmt](int i) { return std::string_view(stmt.ColumnName(i)); };
  // Stable, so that of two columns with one name the later comes last and is kept.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return name(a) < name(b); });
  std::vector<int> kept;
  for (size_t i = 0; i < order.size(); ++i)
    if (i + 1 == order.size() || name(order[i]) != name(order[i + 1])) kept.push_back(order[i]);
  return kept;
}

void AppendRowJson(const SqlStatement& stmt, const std::vector<int>& order, std::string* out) {
  out->push_back('{');
  bool first = true;
  for (const int i : order) {
    if (!first) out->push_back(',');
    first = false;
    AppendJsonString(stmt.ColumnName(i), out);
    out->push_back(':');
    switch (stmt.Type(i)) {
      case SqlType::kInteger: {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, stmt.Int64(i)).ptr;
        out->append(digits, end);
        break;
      }
      case SqlType::kFloat: AppendDump(nlohmann::json(stmt.Double(i)), out); break;
      case SqlType::kNull: *out += "null"; break;
      default: AppendJsonString(stmt.View(i), out);
    }
  }
  out->push_back('}');
}

void AppendObjectWith(const nlohmann::json& object, const std::string& name, std::string_view value,
                      std::string* out) {
  out->push_back('{');
  bool placed = false, first = true;
  const auto separate = [&] {
    if (!first) out->push_back(',');
    first = false;
  };
  const auto place = [&] {
    separate();
    AppendJsonString(name, out);
    out->push_back(':');
    out->append(value);
    placed = true;
  };
  Printer printer(out);
  for (auto member = object.begin(); member != object.end(); ++member) {
    if (member.key() == name) continue;
    if (!placed && name < member.key()) place();
    separate();
    AppendJsonString(member.key(), out);
    out->push_back(':');
    printer.Dump(member.value());
  }
  if (!placed) place();
  out->push_back('}');
}

}  // namespace Fleet
