// The reader on a record the service writes while it reads: every page is read
// with the offsets noted up to it, so that a time once printed stays as it is.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/sql_connection.h"
#include "reader/record/record_reader.h"
#include "support/temporary_folder.h"

namespace {

using Database::SqlAccess;
using Database::SqlConnection;
using Reader::EventRecord;
using Reader::ReadResult;
using Reader::RecordReader;

class RecordWhileWritten : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (folder_.Path() / "Brumevale.data").string();
    ASSERT_TRUE(writer_.Open(path_, SqlAccess::kReadWrite)) << writer_.ErrorMessage();
    // The rows' tables first, as the service makes them; the offsets' table last.
    Write("CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_TYPE INTEGER, "
          "USER_ID VARCHAR, ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR);"
          "CREATE TABLE ChangeEvents (KEY INTEGER PRIMARY KEY AUTOINCREMENT, EVENT_TIME VARCHAR, "
          "PROCESS_ENTRY_KEY INTEGER, LOAD_POINT_KEY INTEGER, EVENT_TYPE INTEGER)");
  }
  void Write(const std::string& sql) { ASSERT_TRUE(writer_.Execute(sql.c_str())) << writer_.ErrorMessage(); }
  void Event(const std::string& time) {
    Write("INSERT INTO ChangeEvents (EVENT_TIME, PROCESS_ENTRY_KEY, LOAD_POINT_KEY, EVENT_TYPE) VALUES ('" + time +
          "', 0, 0, 6)");
  }
  std::vector<EventRecord> Events(RecordReader& reader) {
    std::vector<EventRecord> events;
    EXPECT_EQ(reader.ReadAllEvents(&events), ReadResult::Ok) << reader.Error();
    return events;
  }

  TemporaryFolder folder_;
  std::string path_;
  SqlConnection writer_;
};

TEST_F(RecordWhileWritten, RowsWrittenAfterOpeningAreReadWithTheOffsetsNotedBeforeThem) {
  std::string error;
  // Opened while the offsets' table is not there yet.
  const std::unique_ptr<RecordReader> reader = RecordReader::Open(path_, &error);
  ASSERT_NE(reader, nullptr) << error;
  EXPECT_TRUE(Events(*reader).empty());

  Write("CREATE TABLE UtcOffsets (KEY INTEGER PRIMARY KEY AUTOINCREMENT, SINCE VARCHAR, OFFSET_MINUTES INTEGER);"
        "INSERT INTO UtcOffsets (SINCE, OFFSET_MINUTES) VALUES ('2026-12-08 08:36:34', 60)");
  Event("2026-12-08 08:36:34");
  std::vector<EventRecord> events = Events(*reader);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].utcOffset, 60);

  // A new offset noted while the reader is open applies from its time on only.
  Write("INSERT INTO UtcOffsets (SINCE, OFFSET_MINUTES) VALUES ('2026-12-08 10:00:00', 120)");
  Event("2026-12-08 10:00:05");
  events = Events(*reader);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].utcOffset, 60);
  EXPECT_EQ(events[1].utcOffset, 120);
  EXPECT_EQ(reader->Offsets().At("2026-12-08 10:00:05"), 120);
}

TEST_F(RecordWhileWritten, ARecordWithoutOffsetsStaysWithoutThem) {
  Event("2024-03-01 09:00:00");
  std::string error;
  const std::unique_ptr<RecordReader> reader = RecordReader::Open(path_, &error);
  ASSERT_NE(reader, nullptr) << error;
  const std::vector<EventRecord> events = Events(*reader);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0].utcOffset.has_value());
}

}  // namespace
