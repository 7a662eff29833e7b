// The process table: what a start or end entry does to the records, the browser
// marks and the companion ids.

#include <gtest/gtest.h>

#include "support/temporary_machine.h"
#include "intake/process_monitor.h"
#include "platform/emulated/processes/process_list.h"
#include "util/app_settings.h"
#include "util/drive_map.h"
#include "util/registry_readers.h"

namespace Intake {

namespace {

constexpr char16_t kBrowser[] = u"C:\\Program Files\\Internet Explorer\\iexplore.exe";
constexpr char16_t kGuard[] = u"C:\\Brumevale\\BrumevaleGuard.exe";
constexpr char16_t kGuardControl[] = u"C:\\Brumevale\\BrumevaleGuardControl.exe";

class ProcessTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Platform::Handle key = 0;
    machine.Service().Registry().CreateKey(
        Platform::kHkeyLocalMachine,
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", 0,
        Platform::kKeyAllAccess, &key, nullptr);
    ASSERT_TRUE(VyrUtilities::WriteRegistryString(machine.Service(), key, u"", kBrowser));
    machine.Service().Registry().CloseKey(key);
    Emulated::ProcessRecord browser{.processId = 2000, .imagePath = kBrowser, .ownerSid = u"S-1-5-18"};
    machine.Machine().ProcessTable().Add(browser);
    browser.processId = 2004;
    browser.imagePath = kGuard;
    machine.Machine().ProcessTable().Add(browser);
    settings.SetProgramPath(u"C:\\Brumevale");
    table.Initialise(settings);
  }
  void Entry(uint64_t pid, uint32_t state, std::u16string_view image = u"") {
    table.OnProcessEntry(ProcessEntry(machine.Service(), 4, pid, state, std::u16string(image), u"D\\u"));
  }

  TemporaryMachine machine;
  VyrUtilities::DriveMap driveMap{machine.Service()};
  VyrUtilities::VyrAppSettings settings{machine.Service()};
  ProcessTable table{machine.Service(), driveMap};
};

TEST_F(ProcessTableTest, SnapshotRecordsRunningProcessesButNotCompanions) {
  EXPECT_EQ(table.GetProcessPath(2000), kBrowser);
  EXPECT_EQ(table.GetProcessOwner(2000), u"NT AUTHORITY\\SYSTEM");
  EXPECT_TRUE(table.IsBrowserProcess(2000));
  EXPECT_EQ(table.GetProcessPath(2004), kGuard);
  EXPECT_FALSE(table.IsGuardProcess(2004));
}

TEST_F(ProcessTableTest, StartsReplaceRecordsAndEndsRemoveThem) {
  Entry(1300, kProcessStarted, u"c:\\program files\\internet explorer\\IEXPLORE.EXE");
  EXPECT_TRUE(table.IsBrowserProcess(1300));
  Entry(1300, kProcessStarted, u"C:\\Windows\\notepad.exe");  // a reused id
  EXPECT_FALSE(table.IsBrowserProcess(1300));
  EXPECT_EQ(table.GetProcessPath(1300), u"C:\\Windows\\notepad.exe");
  EXPECT_EQ(table.GetProcessOwner(1300), u"D\\u");
  Entry(2000, kStateUnset);  // any state but started ends a process
  EXPECT_FALSE(table.IsBrowserProcess(2000));
  EXPECT_EQ(table.GetProcessPath(2000), u"");
  Entry(7777, kProcessEnded);  // unknown: nothing happens
}

TEST_F(ProcessTableTest, CompanionIdsAreTakenOnceAndClearedAtTheirEnd) {
  EXPECT_FALSE(table.IsGuardProcess(0));
  Entry(1500, kProcessStarted, kGuard);
  Entry(1504, kProcessStarted, kGuard);  // a second copy: recorded, not marked
  Entry(1508, kProcessStarted, kGuardControl);
  EXPECT_TRUE(table.IsGuardProcess(1500));
  EXPECT_FALSE(table.IsGuardProcess(1504));
  EXPECT_TRUE(table.IsGuardProcess(1508));
  Entry(1504, kProcessEnded);
  Entry(1508, kProcessEnded);
  EXPECT_TRUE(table.IsGuardProcess(1500));
  EXPECT_FALSE(table.IsGuardProcess(1508));
  Entry(1500, kProcessEnded);
  Entry(1512, kProcessStarted, kGuard);  // the slot is free again
  EXPECT_TRUE(table.IsGuardProcess(1512));
}

TEST(ProcessTableWithoutBrowser, EmptyImagesAreNeverBrowsers) {
  TemporaryMachine machine;
  VyrUtilities::DriveMap driveMap(machine.Service());
  VyrUtilities::VyrAppSettings settings(machine.Service());
  ProcessTable table(machine.Service(), driveMap);
  table.Initialise(settings);
  table.OnProcessEntry(ProcessEntry(machine.Service(), 4, 1600, kProcessStarted, u"", u""));
  EXPECT_FALSE(table.IsBrowserProcess(1600));
}

}  // namespace

}  // namespace Intake
