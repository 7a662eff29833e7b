#include "reader/text/json_text.h"

#include <cstdio>

namespace Reader {

void AppendJsonText(std::string_view text, std::string* out) {
  *out += '"';
  size_t run = 0;  // the start of the characters that go as they are
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out->append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default: {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        *out += escaped;
      }
    }
  }
  out->append(text.substr(run));
  *out += '"';
}

void JsonLine::Key(const char* key) {
  if (!first_) *out_ += ',';
  first_ = false;
  *out_ += '"';
  *out_ += key;
  *out_ += "\":";
}

JsonLine& JsonLine::Text(const char* key, const std::string& value) {
  Key(key);
  AppendJsonText(value, out_);
  return *this;
}

JsonLine& JsonLine::TextOrNull(const char* key, bool present, const std::string& value) {
  if (present) return Text(key, value);
  Key(key);
  *out_ += "null";
  return *this;
}

JsonLine& JsonLine::Number(const char* key, long long value) {
  Key(key);
  *out_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(const char* key, bool value) {
  Key(key);
  *out_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::BoolOrNull(const char* key, bool present, bool value) {
  if (present) return Bool(key, value);
  Key(key);
  *out_ += "null";
  return *this;
}

JsonLine& JsonLine::Object(const char* key, const std::string& object) {
  Key(key);
  *out_ += object;
  return *this;
}

}  // namespace Reader
