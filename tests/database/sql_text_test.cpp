#include "database/sql_text.h"

#include <gtest/gtest.h>

namespace Database {

namespace {

TEST(SqlText, ToUtf8WritesEachCodeUnitOnItsOwn) {
  EXPECT_EQ(ToUtf8(u"a\u00e4\u20ac"), "a\xC3\xA4\xE2\x82\xAC");
  // A surrogate pair is two three-byte sequences, not one four-byte sequence.
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\0')), std::string(1, '\0'));
  EXPECT_EQ(ToUtf8(u"\u07ff\u0800\uffff"), "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
}

TEST(SqlText, FromUtf8InvertsToUtf8AndStopsAtACutSequence) {
  for (const std::u16string& text : {std::u16string(u"O'Brien \u00e4\u20ac\U0001F600"),
                                    std::u16string(u"\uffff\u0080\u07ff"), std::u16string()}) {
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  }
  EXPECT_EQ(FromUtf8("ab\xE2\x82"), u"ab");
  EXPECT_EQ(FromUtf8("ab\xC3"), u"ab");
}

TEST(SqlText, EscapeQuotesDoublesEverySingleQuote) {
  EXPECT_EQ(EscapeQuotes("O'Brien"), "O''Brien");
  EXPECT_EQ(EscapeQuotes("''"), "''''");
  EXPECT_EQ(EscapeQuotes("'a'"), "''a''");
  EXPECT_EQ(EscapeQuotes("none"), "none");
}

TEST(SqlText, NumbersAsDecimalText) {
  EXPECT_EQ(FormatInt(0), "0");
  EXPECT_EQ(FormatInt(-1), "-1");
  EXPECT_EQ(FormatInt(INT32_MIN), "-2147483648");
  EXPECT_EQ(ParseInt("-42"), -42);
  EXPECT_EQ(ParseInt("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInt(""), 0);
  EXPECT_EQ(ParseInt("abc"), 0);
  EXPECT_EQ(ParseInt("12abc"), 12);
}

TEST(SqlText, FromAnsiUsesTheWindowsCodePage) {
  EXPECT_EQ(FromAnsi("no such table: x"), u"no such table: x");
  EXPECT_EQ(FromAnsi("\x80\x93\xE4\x81"), u"\u20ac\u201c\u00e4\u0081");
}

TEST(SqlText, ValuesAreBoundAndWrittenInOnlyForTheLiteralText) {
  SqlText sql("UPDATE T SET A = ");
  sql.Text(u"O'Brien \u00e4").Raw(", B = 'Y?' WHERE KEY = ").Int(-3);
  EXPECT_EQ(sql.Str(), "UPDATE T SET A = ?, B = 'Y?' WHERE KEY = ?");
  ASSERT_EQ(sql.Values().size(), 2u);
  EXPECT_EQ(sql.TextOf(sql.Values()[0]), "O'Brien \xC3\xA4");
  EXPECT_EQ(sql.Values()[1].number, -3);
  EXPECT_FALSE(sql.HoldsNul());
  // Converted, then escaped, then quoted; a "?" inside a fixed quoted piece stays.
  EXPECT_EQ(sql.Literal(), "UPDATE T SET A = 'O''Brien \xC3\xA4', B = 'Y?' WHERE KEY = -3");
  EXPECT_TRUE(SqlText("SELECT ").Text(std::u16string(u"a\0b", 3)).HoldsNul());
}

}  // namespace

}  // namespace Database
