#include "fleet/export/row_json.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include <sqlite3.h>

#include "reader/text/json_text.h"

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

std::vector<int> MemberOrder(sqlite3_stmt* stmt) {
  std::vector<int> order(sqlite3_column_count(stmt));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  const auto name = [stmt](int i) { return std::string_view(sqlite3_column_name(stmt, i)); };
  // Stable, so that of two columns with one name the later comes last and is kept.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return name(a) < name(b); });
  std::vector<int> kept;
  for (size_t i = 0; i < order.size(); ++i)
    if (i + 1 == order.size() || name(order[i]) != name(order[i + 1])) kept.push_back(order[i]);
  return kept;
}

void AppendRowJson(sqlite3_stmt* stmt, const std::vector<int>& order, std::string* out) {
  out->push_back('{');
  bool first = true;
  for (const int i : order) {
    if (!first) out->push_back(',');
    first = false;
    AppendJsonString(sqlite3_column_name(stmt, i), out);
    out->push_back(':');
    switch (sqlite3_column_type(stmt, i)) {
      case SQLITE_INTEGER: {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(stmt, i)).ptr;
        out->append(digits, end);
        break;
      }
      case SQLITE_FLOAT: AppendDump(nlohmann::json(sqlite3_column_double(stmt, i)), out); break;
      case SQLITE_NULL: *out += "null"; break;
      default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        AppendJsonString(std::string_view(text ? text : "", text ? sqlite3_column_bytes(stmt, i) : 0), out);
      }
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
