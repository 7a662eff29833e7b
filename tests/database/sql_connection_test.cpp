#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "database/sql_connection.h"
#include "database/sql_statement.h"
#include "support/temporary_folder.h"

namespace Database {

namespace {

using namespace std::chrono_literals;

class SqlConnectionTest : public ::testing::Test {
 protected:
  std::string File(const char* name) const { return (folder_.Path() / name).string(); }

  TemporaryFolder folder_;
};

TEST_F(SqlConnectionTest, ReadOnlyNeverCreatesAndReadsWhatReadWriteWrote) {
  SqlConnection reader;
  EXPECT_FALSE(reader.Open(File("record.data"), SqlAccess::kReadOnly));
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.ErrorMessage(), "unable to open database file");

  SqlConnection writer;
  ASSERT_TRUE(writer.Open(File("record.data"), SqlAccess::kReadWrite));
  ASSERT_TRUE(writer.Execute("CREATE TABLE t (x); INSERT INTO t VALUES (7)"));
  EXPECT_EQ(writer.LastInsertKey(), 1);
  ASSERT_TRUE(reader.Open(File("record.data"), SqlAccess::kReadOnly));
  EXPECT_FALSE(reader.Execute("INSERT INTO t VALUES (8)"));
  EXPECT_EQ(reader.LastFailure(), SqlFailure::kOther);
  SqlStatement count(reader, "SELECT COUNT(*) FROM t");
  ASSERT_EQ(count.Step(), SqlStep::kRow);
  EXPECT_EQ(count.Int64(0), 1);
}

TEST_F(SqlConnectionTest, AFileThatIsNoDatabaseSaysSo) {
  std::ofstream(File("text.data")) << std::string(4096, 'x');
  SqlConnection db;
  ASSERT_TRUE(db.Open(File("text.data"), SqlAccess::kReadOnly));
  EXPECT_FALSE(SqlStatement(db, "SELECT * FROM sqlite_master").Ok());
  EXPECT_EQ(db.LastFailure(), SqlFailure::kNotADatabase);
}

// The lock of another connection: a timeout gives up after its time, a handler
// decides by itself, also after its connection has moved.
TEST_F(SqlConnectionTest, BusyPolicyDecidesHowLongALockIsWaitedFor) {
  SqlConnection holder;
  ASSERT_TRUE(holder.Open(File("record.data"), SqlAccess::kReadWrite));
  ASSERT_TRUE(holder.Execute("CREATE TABLE t (x); BEGIN EXCLUSIVE"));

  SqlConnection timed;
  ASSERT_TRUE(timed.Open(File("record.data"), SqlAccess::kReadOnly));
  timed.WaitWhileBusy(100ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SqlStatement(timed, "SELECT * FROM t").Ok());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(timed.LastFailure(), SqlFailure::kBusy);

  SqlConnection handled;
  ASSERT_TRUE(handled.Open(File("record.data"), SqlAccess::kReadOnly));
  int attempts = 0;
  handled.WaitWhileBusy([&](int attempt) {
    EXPECT_EQ(attempt, attempts);
    if (++attempts == 3) holder.Execute("COMMIT");
    return true;
  });
  SqlConnection moved = std::move(handled);
  SqlStatement read(moved, "SELECT * FROM t");
  EXPECT_TRUE(read.Ok());
  EXPECT_EQ(attempts, 3);
}

TEST_F(SqlConnectionTest, CellsReadAsStoredWithTextAndViewTellingNulAndNullApart) {
  SqlConnection db;
  ASSERT_TRUE(db.Open(File("record.data"), SqlAccess::kReadWrite));
  SqlStatement row(db, "SELECT ? AS Name, NULL, 2.5, 9000000000; SELECT 1");
  ASSERT_TRUE(row.Ok());
  EXPECT_EQ(row.Tail(), " SELECT 1");
  const std::string text("a\0b", 3);
  ASSERT_TRUE(row.BindText(1, text));
  ASSERT_EQ(row.Step(), SqlStep::kRow);
  EXPECT_EQ(row.View(0), text);
  EXPECT_STREQ(row.Text(0), "a");
  EXPECT_EQ(row.Type(1), SqlType::kNull);
  EXPECT_EQ(row.Text(1), nullptr);
  EXPECT_TRUE(row.View(1).empty());
  EXPECT_EQ(row.Type(2), SqlType::kFloat);
  EXPECT_EQ(row.Double(2), 2.5);
  EXPECT_EQ(row.Int64(3), 9000000000);
  EXPECT_EQ(row.ColumnIndex("NAME"), 0);
  EXPECT_EQ(row.ColumnIndex("missing"), -1);
  EXPECT_EQ(row.Step(), SqlStep::kDone);
  EXPECT_FALSE(row.BindInt(5, 1)) << "no fifth parameter";
}

}  // namespace

}  // namespace Database
