// The exporter prints rows and message bodies without building them as objects; what
// it prints must be what the library would print, byte for byte: the collector takes
// a message sent again as a repeat only when its bytes are the same, and exporters
// of earlier builds printed through the library.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fleet/export/row_json.h"

namespace {

std::string Dumped(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Appended(const std::string& text) {
  std::string out = "[";  // appended to what is there, not written over it
  Fleet::AppendJsonString(text, &out);
  return out;
}

}  // namespace

TEST(RowJson, EveryByteIsEscapedAsTheLibraryEscapesIt) {
  std::vector<std::string> texts = {"", "C:\\Program Files\\\"App\"\\app.exe", "Zürich ✓ 東京",
                                    "broken \xC3( and \xE2\x82 cut", "\xFF\xFE lone bytes", "mixed \x01\xC3\xA9\x7F"};
  for (int byte = 0; byte < 256; ++byte) texts.push_back("<" + std::string(1, static_cast<char>(byte)) + ">");
  for (const std::string& text : texts)
    EXPECT_EQ(Appended(text), "[" + Dumped(nlohmann::json(text))) << Dumped(nlohmann::json(text));
}

TEST(RowJson, TheAddedMemberTakesItsSortedPlace) {
  const std::string raw = R"({"ChangeEvents":{"KEY":7},"ExtendedEvent":null})";
  const std::vector<nlohmann::json> bodies = {
      nlohmann::json::object(),
      {{"key", 7}, {"origin", 1}},                              // every member before it
      {{"stateChange", 0}, {"user", "S-1-5-18"}},                // every member after it
      {{"key", 7}, {"raw", "an older one"}, {"user", {{"name", "maren"}, {"sid", nullptr}}}, {"z", {1.5, true}}},
  };
  for (const nlohmann::json& body : bodies) {
    nlohmann::json expected = body;
    expected["raw"] = nlohmann::json::parse(raw);
    std::string out;
    Fleet::AppendObjectWith(body, "raw", raw, &out);
    EXPECT_EQ(out, Dumped(expected));
  }
}
