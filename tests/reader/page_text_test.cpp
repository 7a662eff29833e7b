#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "reader/csv_text.h"
#include "reader/html_page.h"

namespace {

TEST(PageTextTest, JsonInsideTheScriptElementCannotCloseIt) {
  std::string out;
  Reader::AppendJsonString("</script><b>&\"\\\n\x01", &out);
  EXPECT_EQ(out.find('<'), std::string::npos);
  EXPECT_EQ(out.find('>'), std::string::npos);
  EXPECT_EQ(out.find('&'), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(out), "</script><b>&\"\\\n\x01");
}

TEST(PageTextTest, CsvQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(Reader::CsvField("plain"), "plain");
  EXPECT_EQ(Reader::CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(Reader::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(Reader::CsvRow({"", "x\ny", ""}), ",\"x\ny\",\r\n");
}

}  // namespace
