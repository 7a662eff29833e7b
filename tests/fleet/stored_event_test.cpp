// An exported event read back from its message prints what the machine's reader
// prints for it: every field of the reader's JSON, the listing's offset and its
// note of how the change was learnt survive the trip.

#include <gtest/gtest.h>

#include "fleet/queries/stored_event.h"
#include "reader/history/event_format.h"

namespace {

// The message as the exporter builds it, without the raw rows.
nlohmann::json MessageOf(const Reader::EventRecord& e) {
  nlohmann::json body = Reader::EventJson(e);
  body["machine"] = "LAB-07";
  body["key"] = e.key;
  body["origin"] = e.origin;
  body["stateChange"] = e.stateChange;
  return body;
}

Reader::EventRecord ServiceDisabledByARescan() {
  Reader::EventRecord e;
  e.key = 41;
  e.time = "2026-12-07 19:31:52";
  e.utcOffset = 60;
  e.eventType = 2;
  e.event = "disabled";
  e.stateChange = 1;
  e.loadPointType = 12;
  e.typeName = "Service";
  e.entry = "PixelMoorSvc";
  e.displayName = "PixelMoor Update Service";
  e.controlSet = "ControlSet001";
  e.oldCommandLine = "\"C:\\Program Files\\PixelMoor\\pmsvc.exe\" -service";
  e.origin = 1;
  return e;
}

Reader::EventRecord FolderEntryOfAUser() {
  Reader::EventRecord e;
  e.key = 7;
  e.time = "2026-12-07 19:26:50";
  e.utcOffset = -330;
  e.eventType = 13;
  e.event = "added";
  e.loadPointType = 28;
  e.typeName = "User Startup Folder";
  e.entry = "PixelMoor.lnk";
  e.user = "S-1-5-21-3623811015-3361044348-30300820-1001";
  e.userName = "DESKTOP-7Q2M4LK\\maren";
  e.newCommandLine = "C:\\Users\\maren\\Startup\\PixelMoor.lnk";
  e.noProcess = false;
  e.foundByRescan = false;
  e.process = "pixelmoorsetup.exe";
  e.processPath = "c:\\users\\maren\\downloads\\pixelmoorsetup.exe";
  return e;
}

}  // namespace

TEST(StoredEvent, ReadsBackAsTheMachinesReaderPrintsIt) {
  const Reader::AccountNames none;
  for (const Reader::EventRecord& local : {ServiceDisabledByARescan(), FolderEntryOfAUser()}) {
    const Reader::EventRecord stored = Fleet::EventRecordOfMessage(MessageOf(local));
    EXPECT_EQ(Reader::EventJsonLine(stored), Reader::EventJsonLine(local));
    EXPECT_EQ(Reader::EventText(stored, none), Reader::EventText(local, none));
    EXPECT_EQ(Reader::EventCsvRow(stored), Reader::EventCsvRow(local));
    EXPECT_EQ(stored.time, local.time);  // the local text the filters and the latest time compare
    EXPECT_EQ(stored.stateChange, local.stateChange);
  }
}

// A record without offset notes, and a message exported before origin travelled.
TEST(StoredEvent, AnUnknownOffsetAndAnOlderMessageStayAsTheySaid) {
  Reader::EventRecord local = ServiceDisabledByARescan();
  local.utcOffset.reset();
  nlohmann::json message = MessageOf(local);
  EXPECT_EQ(message["time"], "2026-12-07T19:31:52");
  EXPECT_EQ(Reader::EventJsonLine(Fleet::EventRecordOfMessage(message)), Reader::EventJsonLine(local));
  message.erase("origin");
  const Reader::EventRecord older = Fleet::EventRecordOfMessage(message);
  EXPECT_EQ(older.origin, 0);
  EXPECT_EQ(Reader::NoProcessText(older), Reader::kNoProcessMark);
}
