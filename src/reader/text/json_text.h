#pragma once
// JSON objects written straight into a string, byte for byte as nlohmann::json's
// dump() writes them (keys in the order given, which callers keep sorted as
// nlohmann's object sorts them): a history of a million events spends its time
// reading rows, not building and sorting a map per event.

#include <string>
#include <string_view>

namespace Reader {

class JsonLine {
 public:
  explicit JsonLine(std::string* out) : out_(out) { *out_ += '{'; }
  JsonLine& Text(const char* key, const std::string& value);
  JsonLine& TextOrNull(const char* key, bool present, const std::string& value);
  JsonLine& Number(const char* key, long long value);
  JsonLine& Bool(const char* key, bool value);
  JsonLine& BoolOrNull(const char* key, bool present, bool value);
  // An object written by a JsonLine of its own (without its line break).
  JsonLine& Object(const char* key, const std::string& object);
  void End() { *out_ += "}\n"; }
  void EndObject() { *out_ += '}'; }

 private:
  void Key(const char* key);
  std::string* out_;
  bool first_ = true;
};

// A JSON string as nlohmann::json dumps it: quotes, backslashes and control
// characters escaped, everything else (UTF-8 included) as it is.
void AppendJsonText(std::string_view text, std::string* out);

}  // namespace Reader
