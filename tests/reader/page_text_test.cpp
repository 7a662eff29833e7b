#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "reader/text/csv_text.h"
#include "reader/history/event_format.h"
#include "reader/text/html_page.h"
#include "reader/inventory/inventory_format.h"
#include "reader/text/safe_text.h"

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

// "invoice<RLO>fdp.exe" reads as "invoiceexe.pdf" wherever the mark is honoured.
const std::string kOverride = "invoice\xE2\x80\xAE" "fdp.exe";

TEST(PageTextTest, CsvCellsThatSpreadsheetsRunAreWrittenAsText) {
  EXPECT_EQ(Reader::CsvField("=cmd|' /C calc'!A0"), "\"'=cmd|' /C calc'!A0\"");
  for (const std::string start : {"+1", "-2+3", "@SUM(A1)", "\tx", "\rx"}) {
    EXPECT_EQ(Reader::CsvField(start).substr(0, 2), "\"'") << start;
  }
  // A formula character anywhere but first is no formula.
  EXPECT_EQ(Reader::CsvField("a=b-c"), "a=b-c");
  EXPECT_EQ(Reader::CsvField(""), "");
}

TEST(PageTextTest, HiddenMarksShowAsTheirCodesInListingAndCsv) {
  EXPECT_EQ(Reader::Shown(kOverride), "invoice<U+202E>fdp.exe");
  EXPECT_EQ(Reader::CsvField(kOverride), "invoice<U+202E>fdp.exe");
  // Each end of every range, the byte-order mark, and a neighbour left as it is.
  EXPECT_EQ(Reader::VisibleMarks("\xE2\x80\x8B\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9\xEF\xBB\xBF"),
            "<U+200B><U+200F><U+202A><U+2066><U+2069><U+FEFF>");
  const std::string untouched = "\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x82\xAC\xC3\xA9";  // U+200A U+2010 U+202F
  EXPECT_EQ(Reader::VisibleMarks(untouched), untouched);
  EXPECT_EQ(Reader::VisibleMarks("cut \xE2\x80"), "cut \xE2\x80");
}

TEST(PageTextTest, VerifiedInventoryCsvHasOneHeaderPerColumn) {
  std::string header = Reader::InventoryCsvHeader(true);
  header.resize(header.size() - 2);
  std::set<std::string> seen;
  for (size_t from = 0, comma; from <= header.size(); from = comma + 1) {
    comma = std::min(header.find(',', from), header.size());
    EXPECT_TRUE(seen.insert(header.substr(from, comma - from)).second) << header.substr(from, comma - from);
  }
  EXPECT_TRUE(seen.count("entryFileSigner"));
}

}  // namespace
