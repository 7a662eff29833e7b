#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "reader/history/event_format.h"
#include "reader/inventory/inventory_format.h"

namespace {

// The history's JSON lines are written by hand for speed; they must stay what
// nlohmann::json writes for the same event, which is what the fleet export sends.
TEST(EventJsonTest, HandWrittenLineIsNlohmannsDump) {
  Reader::EventRecord rescan;
  rescan.time = "2024-03-01 09:00:00";
  rescan.eventType = 6;
  rescan.event = "rescan found changes";
  Reader::EventRecord live;
  live.time = "2024-03-01 09:01:00";
  live.eventType = 1;
  live.event = "changed";
  live.loadPointType = 1;
  live.typeName = "Run";
  live.entry = "Up\"dater\\ \x01\x1f\x7f\t\n\r\b\f </script> \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  live.user = "S-1-5-21-9";
  live.userName = "DESK\\maren";
  live.utcOffset = -330;
  live.displayName = "Updater";
  live.oldCommandLine = "C:\\old.exe";
  live.newCommandLine = "\"C:\\new.exe\" /x";
  live.noProcess = false;
  live.process = "setup.exe";
  live.processPath = "C:\\setup.exe";
  live.fileVersion = "2.1.0";
  live.hasSignature = true;
  live.signer = "";
  live.downloadAddress = "http://get.example/setup.exe";
  Reader::EventRecord signedOne = live;
  signedOne.signer = "Kelvra Tools Ltd";
  signedOne.signatureValid = true;
  signedOne.downloadAddress.clear();
  signedOne.newCommandLine = std::string(1100, 'x');  // beyond the buffers: flagged
  for (const Reader::EventRecord& event : {rescan, live, signedOne}) {
    EXPECT_EQ(Reader::EventJsonLine(event),
              Reader::EventJson(event).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  }
}

TEST(EventJsonTest, HandWrittenInventoryLineIsNlohmannsDump) {
  Reader::InventoryItem found;
  found.point.key = 4;
  found.point.loadPointType = 7;
  found.point.typeName = "UserInit";
  found.point.entry = "C:\\Windows\\system32\\userinit.exe \"<b>\"";
  found.point.commandLine = found.point.entry;
  found.point.firstRecorded = "2024-03-01 09:00:00";
  Reader::InventoryItem changed = found;
  changed.point.noProcess = false;
  changed.point.process = "setup.exe";
  changed.point.hasSignature = true;
  changed.point.signer = "Kelvra";
  changed.point.lastChanged = "2024-03-01 09:05:00";
  changed.file = {true, "C:\\u.exe", "C:\\Start Menu\\u.lnk", true, "1.0", "Kelvra", true, "Kelvra Tools", true};
  changed.point.user = "S-1-5-21-9";
  changed.point.userName = "DESK\\maren";
  changed.point.lastChangedOffset = 60;
  Reader::InventoryItem missing = found;
  missing.file = {true, "C:\\gone.exe", "", false, "", "", false, "", false};
  missing.point.loadPointType = 30;
  missing.point.controlSet = "ControlSet002";
  for (const Reader::InventoryItem& item : {found, changed, missing}) {
    EXPECT_EQ(Reader::InventoryJsonLine(item),
              Reader::InventoryJson(item).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  }
}

}  // namespace
