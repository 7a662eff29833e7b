// An event message read for the fields the collector stores, without a tree of it.

#include <gtest/gtest.h>

#include "fleet/collect/event_fields.h"

namespace {

std::string Message(const std::string& time, const std::string& row = R"("EVENT_TYPE":13,"LOAD_POINT_KEY":null)") {
  return R"({"machine":"LAB","machineId":"id","key":7,"note":{"key":9},"time":")" + time +
         R"(","raw":{"ChangeEvents":{"KEY":7,"EVENT_TIME":"2024-05-01 10:00:00",)" + row + "}}}";
}

}  // namespace

TEST(EventFields, UtcTimeFromTheMessagesOffset) {
  Fleet::EventFields f;
  ASSERT_EQ(Fleet::ReadEventFields(Message("2024-05-01T10:00:00-05:30"), &f), "");
  EXPECT_EQ(f.machineId, "id");
  EXPECT_EQ(f.key, 7);  // the envelope's, not the one nested elsewhere
  EXPECT_EQ(f.eventType, "13");
  EXPECT_EQ(f.loadPointKey, "");
  EXPECT_TRUE(f.utcOffsetKnown);
  EXPECT_EQ(f.utcOffset, -330);
  EXPECT_EQ(f.eventAt, "2024-05-01 10:00:00-05:30");
  // No offset, or one given for another local time: the local time as UTC, offset unknown.
  for (const char* time : {"2024-05-01T10:00:00", "2024-05-01T11:00:00+02:00", "soon"}) {
    ASSERT_EQ(Fleet::ReadEventFields(Message(time), &f), "") << time;
    EXPECT_FALSE(f.utcOffsetKnown) << time;
    EXPECT_EQ(f.eventAt, "2024-05-01 10:00:00+00:00") << time;
  }
}

TEST(EventFields, InvalidMessagesNamedAsTheCollectorNamesThem) {
  Fleet::EventFields f;
  EXPECT_EQ(Fleet::ReadEventFields(Message("x").substr(1), &f), "not JSON");
  EXPECT_EQ(Fleet::ReadEventFields(Message("x") + "}", &f), "not JSON");
  EXPECT_EQ(Fleet::ReadEventFields("[1]", &f), "not a JSON object");
  EXPECT_EQ(Fleet::ReadEventFields(R"({"machine":"LAB","machineId":"","key":7})", &f), "no machineId");
  EXPECT_EQ(Fleet::ReadEventFields(R"({"machine":"LAB","machineId":"id","key":-7})", &f), "no event key");
  EXPECT_EQ(Fleet::ReadEventFields(R"({"machine":"LAB","machineId":"id","key":7,"raw":[]})", &f),
            "no ChangeEvents row");
  EXPECT_EQ(Fleet::ReadEventFields(Message("x", R"("KEY":8)"), &f), "the ChangeEvents row is not the event's");
  EXPECT_EQ(Fleet::ReadEventFields(Message("x", R"("EVENT_TYPE":1.5)"), &f), "EVENT_TYPE is not a number");
  EXPECT_EQ(Fleet::ReadEventFields(Message("x", R"("PROCESS_ENTRY_KEY":"3")"), &f),
            "PROCESS_ENTRY_KEY is not a number");
  // A name given twice counts as given last, as the stored jsonb keeps it.
  const std::string twice = R"({"machine":"LAB","machineId":"id","key":7,"raw":{"ChangeEvents":{"KEY":7,)"
                            R"("EVENT_TIME":"2024-05-01 10:00:00"}},"raw":{}})";
  EXPECT_EQ(Fleet::ReadEventFields(twice, &f), "no ChangeEvents row");
  // Too large for the column, not for the message: the database judges it.
  ASSERT_EQ(Fleet::ReadEventFields(Message("x", R"("EVENT_TYPE":1099511627776)"), &f), "");
  EXPECT_EQ(f.eventType, "1099511627776");
}
