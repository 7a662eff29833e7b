// The process table: what a start or end entry does to the records, the browser
// marks and the companion ids.

#include <gtest/gtest.h>

#include "fileinfo/temporary_machine.h"
#include "intake/process_monitor.h"
#include "platform/emulated/process_list.h"
#include "util/app_settings.h"
#include "util/drive_map.h"
#include "util/registry_readers.h"

namespace {

constexpr char16_t kBrowser[] = u"C:\\Program Files\\Internet Explorer\\iexplore.exe";
constexpr char16_t kGuard[] = u"C:\\Program Files\\Brumevale\\BrumevaleGuard.exe";
constexpr char16_t kGuardControl[] = u"C:\\Program Files\\Brumevale\\BrumevaleGuardControl.exe";

class ProcessTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Platform::Handle key = 0;
    Platform::Registry& registry = machine.Service().Registry();
    ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine,
                                 u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
                                 u"IEXPLORE.EXE",
                                 0, Platform::kKeyAllAccess, &key, nullptr),
              Platform::kErrorSuccess);
    VyrUtilities::WriteRegistryString(machine.Service(), key, u"", kBrowser);
    registry.CloseKey(key);
    settings.SetProgramPath(u"C:\\Program Files\\Brumevale");
    table.Initialise(settings);
  }

  void Start(uint64_t pid, std::u16string_view image, std::u16string_view owner = u"D\\u") {
    table.OnProcessEntry(ProcessEntry(machine.Service(), 4, pid, kProcessStarted,
                                      std::u16string(image), std::u16string(owner)));
  }
  void End(uint64_t pid, uint32_t state = kProcessEnded) {
    table.OnProcessEntry(ProcessEntry(machine.Service(), 4, pid, state, u"", u""));
  }

  TemporaryMachine machine;
  VyrUtilities::DriveMap driveMap{machine.Service()};
  VyrUtilities::VyrAppSettings settings{machine.Service()};
  ProcessTable table{machine.Service(), driveMap};
};

TEST_F(ProcessTableTest, StartedProcessesAreKnownUntilTheyEnd) {
  EXPECT_EQ(table.BrowserPath(), kBrowser);
  Start(1200, u"C:\\Windows\\notepad.exe", u"DESKTOP\\alice");
  EXPECT_EQ(table.GetProcessPath(1200), u"C:\\Windows\\notepad.exe");
  EXPECT_EQ(table.GetProcessOwner(1200), u"DESKTOP\\alice");
  EXPECT_FALSE(table.IsBrowserProcess(1200));
  End(1200, kStateUnset);  // any state but started ends it
  EXPECT_EQ(table.GetProcessPath(1200), u"");
  EXPECT_EQ(table.GetProcessOwner(1200), u"");
  End(7777);  // unknown: nothing happens
}

TEST_F(ProcessTableTest, BrowserIsRecognisedIgnoringCaseAndAReusedIdDropsTheMark) {
  Start(1300, u"c:\\program files\\internet explorer\\IEXPLORE.EXE");
  EXPECT_TRUE(table.IsBrowserProcess(1300));
  Start(1300, u"C:\\Windows\\notepad.exe");
  EXPECT_FALSE(table.IsBrowserProcess(1300));
  EXPECT_EQ(table.GetProcessPath(1300), u"C:\\Windows\\notepad.exe");
  Start(1400, kBrowser);
  End(1400);
  EXPECT_FALSE(table.IsBrowserProcess(1400));
}

TEST_F(ProcessTableTest, CompanionIdsAreTakenOnceAndClearedAtTheirEnd) {
  EXPECT_FALSE(table.IsGuardProcess(0));
  Start(1500, kGuard);
  Start(1504, kGuard);  // a second copy: recorded, not marked
  Start(1508, kGuardControl);
  EXPECT_TRUE(table.IsGuardProcess(1500));
  EXPECT_FALSE(table.IsGuardProcess(1504));
  EXPECT_TRUE(table.IsGuardProcess(1508));
  EXPECT_EQ(table.GetProcessPath(1504), kGuard);
  End(1504);
  EXPECT_TRUE(table.IsGuardProcess(1500));
  End(1508);
  EXPECT_FALSE(table.IsGuardProcess(1508));
  EXPECT_TRUE(table.IsGuardProcess(1500));
  End(1500);
  EXPECT_FALSE(table.IsGuardProcess(1500));
  Start(1512, kGuard);  // the slot is free again
  EXPECT_TRUE(table.IsGuardProcess(1512));
}

TEST(ProcessTableWithoutBrowser, NoProcessIsABrowserWhenThePathIsUnreadable) {
  TemporaryMachine machine;
  VyrUtilities::DriveMap driveMap(machine.Service());
  VyrUtilities::VyrAppSettings settings(machine.Service());
  ProcessTable table(machine.Service(), driveMap);
  table.Initialise(settings);
  EXPECT_EQ(table.BrowserPath(), u"");
  table.OnProcessEntry(ProcessEntry(machine.Service(), 4, 1600, kProcessStarted, u"", u""));
  EXPECT_FALSE(table.IsBrowserProcess(1600));
  EXPECT_FALSE(table.IsGuardProcess(1600));
}

TEST_F(ProcessTableTest, SnapshotRecordsRunningProcessesButNotCompanions) {
  Emulated::ProcessRecord browser;
  browser.processId = 2000;
  browser.imagePath = kBrowser;
  browser.ownerSid = u"S-1-5-18";
  machine.Machine().ProcessTable().Add(browser);
  Emulated::ProcessRecord guard = browser;
  guard.processId = 2004;
  guard.imagePath = kGuard;
  machine.Machine().ProcessTable().Add(guard);

  ProcessTable fresh(machine.Service(), driveMap);
  fresh.Initialise(settings);
  EXPECT_EQ(fresh.GetProcessPath(2000), kBrowser);
  EXPECT_EQ(fresh.GetProcessOwner(2000), u"NT AUTHORITY\\SYSTEM");
  EXPECT_TRUE(fresh.IsBrowserProcess(2000));
  EXPECT_EQ(fresh.GetProcessPath(2004), kGuard);
  EXPECT_FALSE(fresh.IsGuardProcess(2004));
  EXPECT_EQ(fresh.GetProcessPath(4), u"System");
}

}  // namespace
