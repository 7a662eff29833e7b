// No value escapes the record by its length: Run values far longer than the
// documented 2048-byte buffers, and the longest value name Windows allows, reach
// their rows whole, live (written by a process, reported by the emulated driver,
// decoded by the collector, handled by the engine) and by a rescan.

#include <functional>

#include "engine/full_scan.h"
#include "intake/data_collector.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/processes/process_control.h"
#include "support/scan_test_machine.h"
#include "util/documented_buffers.h"
#include "util/registry_readers.h"

using Engine::FullLoadPointScan;
using Intake::DataCollector;
using Intake::DataConsumer;
using Intake::SystemLogEntry;

namespace Families {

namespace {

constexpr uint32_t kSetup = 3100;
constexpr uint32_t kSetupThread = 3104;
constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A command line padded to length characters.
std::u16string Padded(std::u16string_view program, size_t length) {
  std::u16string text = u"\"" + std::u16string(program) + u"\" ";
  return text + std::u16string(length - text.size(), u'p');
}

struct LongValue {
  std::u16string name;
  std::u16string data;
};

// 1,009 characters fit the value buffer but not, with the key path and name, the
// documented 2048-byte driver record; 1,109 fit neither; the last is the longest
// name with 40,000 characters of data, more than one driver reply holds.
std::vector<LongValue> LongValues() {
  return {{u"Short", Padded(u"C:\\a.exe", 1009)},
          {u"Middle", Padded(u"C:\\b.exe", 1109)},
          {std::u16string(16383, u'N'), Padded(u"C:\\c.exe", 40000)}};
}

// The engine takes its entries from the collector, which exists only once the
// machine does; until then the engine finds nothing.
struct CollectorFeed : DataConsumer {
  DataCollector* collector = nullptr;
  SystemLogEntry* TakeNextEntry() override {
    return collector != nullptr ? collector->TakeNextEntry() : nullptr;
  }
};
struct FeedHolder {
  CollectorFeed feed_;
};

class DriverFedMachine : private FeedHolder, public ScanMachine {
 public:
  DriverFedMachine() : ScanMachine(TwoUserConfig(), "", &feed_) {
    feed_.collector = &collector_;
    Machine().Filter().Start();
    EXPECT_TRUE(collector_.ConnectDriverPort());
    Emulated::ProcessLaunch launch;
    launch.creator = {4, 0};
    launch.imagePath = u"C:\\Tools\\setup.exe";
    WriteFile(launch.imagePath, "MZ");
    launch.processId = kSetup;
    EXPECT_EQ(Emulated::StartProcess(Machine(), launch), kSetup);
  }

  void Write(const LongValue& value) {
    Platform::System& setup = Machine().Process(kSetup, kSetupThread);
    Platform::ScopedKey key;
    ASSERT_EQ(setup.Registry().CreateKey(Platform::kHkeyLocalMachine, kRun, 0,
                                         Platform::kKeyAllAccess, key.Receive(setup.Registry()),
                                         nullptr),
              Platform::kErrorSuccess);
    ASSERT_TRUE(VyrUtilities::WriteRegistryString(setup, key.Get(), value.name, value.data));
  }
  // Everything the driver holds, through the collector into the engine.
  void Deliver() {
    for (int polls = 0; polls < 100 && collector_.PollDriver() > 0; ++polls) {
    }
    Engine().Dispatch();
  }

 private:
  VyrUtilities::DriveMap drives_{System()};
  DataCollector collector_{System(), drives_};
};

// A long text as its length, its start and a digest of the whole: compared as
// exactly as the text, and short enough to read in a failure.
std::string Summary(const std::string& text) {
  return std::to_string(text.size()) + ":" + text.substr(0, 12) + ":" +
         std::to_string(std::hash<std::string>{}(text));
}
std::string Utf8(const std::u16string& text) { return Summary(Platform::Utf16ToUtf8(text)); }

// The Run rows: name, command line, and whether the text is over the documented buffers.
SqlRows ExpectedRows(const std::vector<LongValue>& values) {
  SqlRows rows;
  for (const LongValue& value : values) {
    rows.push_back({Utf8(value.name), Utf8(value.data),
                    VyrUtilities::IsOverDocumentedBuffers(value.data) ? "over" : "within"});
  }
  return rows;
}

SqlRows RunRows(ScanMachine& machine) {
  SqlRows rows = machine.Sql("SELECT ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE LP_TYPE = 1 "
                             "ORDER BY KEY");
  for (auto& row : rows) {
    row.push_back(VyrUtilities::IsOverDocumentedBuffersUtf8(row[1]) ? "over" : "within");
    row[0] = Summary(row[0]);
    row[1] = Summary(row[1]);
  }
  return rows;
}

TEST(LongValues, LiveThroughTheDriverEveryLengthIsRecordedWholeByItsProcess) {
  DriverFedMachine machine;
  const std::vector<LongValue> values = LongValues();
  for (const LongValue& value : values) machine.Write(value);
  machine.Deliver();
  const SqlRows expected = ExpectedRows(values);
  EXPECT_EQ(expected[0][2], "within");
  EXPECT_EQ(expected[1][2], "over");
  EXPECT_EQ(RunRows(machine), expected);
  // Each addition is its own live event, by the writing process, with the whole text.
  const SqlRows events = machine.Sql(
      "SELECT e.PARAM_1, e.PARAM_4, p.PROCESS_FILE_NAME FROM ChangeEvents c JOIN ExtendedEvent e "
      "ON e.CHANGE_EVENT_KEY = c.KEY JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY WHERE "
      "c.EVENT_TYPE = 13 AND e.PARAM_0 = '1' ORDER BY c.KEY");
  ASSERT_EQ(events.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ((std::vector<std::string>{Summary(events[i][0]), Summary(events[i][1]), events[i][2]}),
              (std::vector<std::string>{Utf8(values[i].name), Utf8(values[i].data), "setup.exe"}));
  }
}

TEST(LongValues, RescanReadsEveryLengthWhole) {
  ScanMachine machine;
  const std::vector<LongValue> values = LongValues();
  Platform::Registry& registry = machine.System().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine, kRun, 0, Platform::kKeyAllAccess,
                               key.Receive(registry), nullptr),
            Platform::kErrorSuccess);
  for (const LongValue& value : values) {
    ASSERT_TRUE(VyrUtilities::WriteRegistryString(machine.System(), key.Get(), value.name, value.data));
  }
  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(RunRows(machine), ExpectedRows(values));
  // Read whole, a second pass finds nothing changed.
  const SqlRows before = machine.Sql("SELECT COUNT(*) FROM ChangeEvents");
  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM ChangeEvents"), before);
}

}  // namespace

}  // namespace Families
