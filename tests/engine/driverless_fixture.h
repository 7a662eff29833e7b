#pragma once
// A machine whose engine runs its real rescans, for the tests of what the service
// records without the driver: the change notifications' re-reads and the rescans
// that name what they find.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/engine_fixture.h"
#include "support/scan_test_machine.h"

namespace DriverlessTest {

using namespace std::chrono_literals;

inline constexpr char kRunKey[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n";
inline constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"Keep\"=\"C:\\\\keep.exe\"\r\n\"Change\"=\"C:\\\\old.exe\"\r\n\"Drop\"=\"C:\\\\drop.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n\"ImagePath\"=\"C:\\\\own.exe\"\r\n";

// A machine whose engine runs its real rescans (the first one is the baseline).
class ReReadTest : public ::testing::Test {
 protected:
  explicit ReReadTest(const std::string& boot = kBoot) : machine_(TwoUserConfig(), boot, &queue_) {}

  Engine::LoadPointEngine& Engine() { return machine_.Engine(); }

  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (const auto& row : machine_.Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, "
                                        "DISPLAY_NAME FROM LoadPoints ORDER BY 1, 2, 3")) {
      rows.push_back(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4]);
    }
    return rows;
  }
  int Count(const std::string& sql) { return std::stoi(machine_.Sql(sql).at(0).at(0)); }
  int Events() { return Count("SELECT COUNT(*) FROM ChangeEvents"); }

  // Re-reads what the notifications marked until rows holds or 10 s passed; the
  // number of passes that re-read something.
  template <typename Done>
  int ReReadUntil(Done done) {
    int passes = 0;
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
      if (Engine().ReReadNotified() > 0) {
        ++passes;
      } else if (done()) {
        return passes;
      } else {
        std::this_thread::sleep_for(5ms);
      }
    }
    ADD_FAILURE() << "the change never reached the record";
    return passes;
  }
  int ReReadUntilRow(const std::string& where) {
    return ReReadUntil([&] { return Count("SELECT COUNT(*) FROM LoadPoints WHERE " + where) > 0; });
  }

  // A full rescan now: it must find nothing to correct.
  void ExpectRescanFindsNothing() {
    const std::vector<std::string> before = Rows();
    const int events = Events();
    Engine::FullLoadPointScan(Engine(), 0);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Events(), events) << "the rescan corrected what the notifications left";
  }

  EngineTest::QueueConsumer queue_;
  ScanMachine machine_;
};

// Each row's columns joined by spaces.
inline std::vector<std::string> Joined(const SqlRows& rows) {
  std::vector<std::string> texts;
  for (const auto& row : rows) {
    std::string text;
    for (const std::string& column : row) text += (text.empty() ? "" : " ") + column;
    texts.push_back(text);
  }
  return texts;
}

// Every event after the baseline: its type, whether it names a process, its origin,
// and whether its row (when the row still exists) points at it.
inline std::vector<std::string> NamedEvents(ScanMachine& machine, int origin) {
  return Joined(machine.Sql(
      "SELECT e.EVENT_TYPE, e.PROCESS_ENTRY_KEY, o.ORIGIN, x.PARAM_1, x.PARAM_4, x.PARAM_5, "
      "COALESCE(l.CHANGE_EVENT_KEY = e.KEY, 'gone') FROM ChangeEvents e "
      "JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY "
      "JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY "
      "LEFT JOIN LoadPoints l ON l.KEY = e.LOAD_POINT_KEY WHERE o.ORIGIN = " +
      std::to_string(origin) + " ORDER BY e.KEY"));
}

}  // namespace DriverlessTest
