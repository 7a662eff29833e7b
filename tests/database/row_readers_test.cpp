#include "database/row_readers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace Database {

namespace {

// Readers are fed by SQLite itself so that NULLs, column names and row order are
// what a real query delivers.
class RowReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    Run("CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY, LP_TYPE INTEGER, USER_ID VARCHAR, "
        "ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE, "
        "INDIRECTION_KEY INTEGER)");
    Run("INSERT INTO LoadPoints VALUES (3, 16, 'S-1', 'Name', 'x.exe', 0, NULL, 7)");
    Run("INSERT INTO LoadPoints VALUES (5, 16, NULL, '\xC3\xA4', 'not a number', 2, NULL, 'x')");
  }
  void TearDown() override { sqlite3_close(db_); }
  void Run(const char* sql, QueryResult* rows = nullptr) {
    ASSERT_EQ(sqlite3_exec(db_, sql, rows ? CollectRow : nullptr, rows, nullptr), SQLITE_OK) << sql;
  }
  sqlite3* db_ = nullptr;
};

TEST_F(RowReaderTest, ReadsColumnsByNameWhateverTheirPosition) {
  LoadPointRows rows;
  Run("SELECT ENTRY_NAME, KEY, INDIRECTION_KEY, USER_ID FROM LoadPoints ORDER BY KEY",
      &rows.Result());
  ASSERT_EQ(rows.Count(), 2u);
  EXPECT_TRUE(rows.HasRows());
  EXPECT_EQ(rows.KEY(0), 3);
  EXPECT_EQ(rows.ENTRY_NAME(1), u"\u00e4");
  EXPECT_EQ(rows.INDIRECTION_KEY(0), 7);
  EXPECT_EQ(rows.INDIRECTION_KEY(1), 0);  // text that is not a number
  EXPECT_EQ(rows.USER_ID(1), u"");        // NULL
  // Columns the query did not return.
  EXPECT_EQ(rows.LP_TYPE(0), -1);
  EXPECT_EQ(rows.COMMAND_LINE(0), u"");
  EXPECT_EQ(rows.DISPLAY_NAME(0), u"");
  // A row past the end reads as 0 and empty text.
  EXPECT_EQ(rows.KEY(9), 0);
  EXPECT_EQ(rows.ENTRY_NAME(9), u"");
}

TEST_F(RowReaderTest, NoRowsLeavesEveryColumnUnresolved) {
  LoadPointRows rows;
  Run("SELECT * FROM LoadPoints WHERE KEY = 99", &rows.Result());
  EXPECT_TRUE(rows.IsEmpty());
  EXPECT_EQ(rows.KEY(0), -1);
  EXPECT_EQ(rows.LP_TYPE(0), -1);
  EXPECT_EQ(rows.ENTRY_NAME(0), u"");
  // Consulting the reader early does not pin its columns: rows arriving later are read.
  Run("SELECT * FROM LoadPoints WHERE KEY = 3", &rows.Result());
  EXPECT_EQ(rows.KEY(0), 3);
  EXPECT_EQ(rows.LP_TYPE(0), 16);
}

TEST_F(RowReaderTest, FirstOfTwoEquallyNamedColumnsWins) {
  QueryResult result;
  Run("SELECT KEY AS A, LP_TYPE AS A FROM LoadPoints WHERE KEY = 3", &result);
  EXPECT_EQ(result.ColumnIndex("A"), 0);
  EXPECT_EQ(result.ColumnIndex("B"), -1);
  int32_t value = 0;
  EXPECT_TRUE(result.IntValue(0, 0, &value));
  EXPECT_EQ(value, 3);
  EXPECT_FALSE(result.IntValue(0, 0, nullptr));
  EXPECT_EQ(result.Value(0, 7), "");
  EXPECT_EQ(result.Value(0, -1), "");
  EXPECT_EQ(CollectRow(nullptr, 0, nullptr, nullptr), 0);
}

TEST(NotifyListRowsTest, SplitsTheKeyListAtCommas) {
  NotifyListRows rows;
  char* names[] = {const_cast<char*>("KEY"), const_cast<char*>("NOTIFY_KEYS")};
  const std::pair<const char*, std::vector<int32_t>> cases[] = {
      {"40,41", {40, 41}}, {"", {}}, {"7", {7}}, {",x,-2,", {0, 0, -2, 0}}};
  for (uint32_t row = 0; row < std::size(cases); ++row) {
    char* values[] = {const_cast<char*>("12"), const_cast<char*>(cases[row].first)};
    CollectRow(&rows.Result(), 2, values, names);
    EXPECT_EQ(rows.NotifyKeys(row), cases[row].second) << cases[row].first;
  }
}

}  // namespace

}  // namespace Database
