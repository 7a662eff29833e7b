// Re-reads that stand in for the driver: a rescan that names each row it finds
// changed, and change notifications that re-read the locations under the notified
// key. In both the rows must end as a full rescan leaves them, each change with an
// event of its own (no process, its origin in EventOrigin), and a rescan run
// afterwards must find nothing left to correct.

#include <atomic>

#include "driverless_fixture.h"
#include "engine/scanner_table.h"
#include "util/path_routines.h"

namespace Engine {

namespace {

using namespace std::chrono_literals;
using namespace DriverlessTest;

TEST_F(ReReadTest, TheBaselineNamesNothingALaterRescanNamesEachFinding) {
  EXPECT_EQ(machine_.Sql("SELECT EVENT_TYPE FROM ChangeEvents WHERE EVENT_TYPE IN (1, 2, 6, 13)"),
            (SqlRows{{"6"}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM EventOrigin"), 0);

  machine_.Import(std::string(kRunKey) +
                  "\"Change\"=\"C:\\\\Users\\\\Public\\\\evil.exe\"\r\n\"Drop\"=-\r\n"
                  "\"New\"=\"C:\\\\new.exe\"\r\n");
  FullLoadPointScan(Engine(), 0);
  EXPECT_EQ(NamedEvents(machine_, 1),
            (std::vector<std::string>{"1 0 1 Change C:\\Users\\Public\\evil.exe C:\\old.exe 1",
                                      "13 0 1 New C:\\new.exe  1", "2 0 1 Drop C:\\drop.exe  gone"}));
  // The summary event stays, after the findings it sums up.
  EXPECT_EQ(Count("SELECT EVENT_TYPE FROM ChangeEvents WHERE EVENT_TYPE IN (1, 2, 6, 13) "
                  "ORDER BY KEY DESC LIMIT 1"), 6);
  ExpectRescanFindsNothing();
}

TEST_F(ReReadTest, ANotificationReReadsItsKeyAndNamesEachChange) {
  Engine().StartNotifications();
  machine_.Import(std::string(kRunKey) + "\"New\"=\"C:\\\\new.exe\"\r\n");
  ReReadUntilRow("ENTRY_NAME = 'New'");
  machine_.Import(std::string(kRunKey) + "\"Change\"=\"C:\\\\other.exe\"\r\n");
  ReReadUntilRow("COMMAND_LINE = 'C:\\other.exe'");
  machine_.Import(std::string(kRunKey) + "\"Drop\"=-\r\n");
  ReReadUntil([&] { return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Drop'") == 0; });
  EXPECT_EQ(NamedEvents(machine_, 2),
            (std::vector<std::string>{"13 0 2 New C:\\new.exe  1",
                                      "1 0 2 Change C:\\other.exe C:\\old.exe 1",
                                      "2 0 2 Drop C:\\drop.exe  gone"}));
  // A notification's re-read is no rescan: no summary event.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 6"), 1);
  ExpectRescanFindsNothing();
}

// One change in each way of reading a location, in the machine's keys, a control
// set and a user's hive, and a key that did not exist when the watches were armed.
TEST_F(ReReadTest, EveryKindOfLocationIsSeenWithoutTheDriver) {
  Engine().StartNotifications();
  machine_.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\r\n"
      "\"Userinit\"=\"C:\\\\userinit.exe,C:\\\\extra.exe\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
      "Options\\victim.exe]\r\n\"Debugger\"=\"C:\\\\dbg.exe\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Lsa]\r\n"
      "\"Notification Packages\"=hex(7):6e,00,70,00,00,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
      "\"ImagePath\"=\"C:\\\\own2.exe\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run]\r\n"
      "\"Policy\"=\"C:\\\\policy.exe\"\r\n"
      "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\Windows\\"
      "CurrentVersion\\Run]\r\n\"Mine\"=\"C:\\\\mine.exe\"\r\n");
  ReReadUntil([&] {
    return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME IN ('C:\\extra.exe', 'victim.exe', "
                 "'np', 'Policy', 'Mine') OR COMMAND_LINE = 'C:\\own2.exe'") == 6;
  });
  EXPECT_EQ(Count("SELECT COUNT(*) FROM EventOrigin WHERE ORIGIN = 2"),
            Count("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE IN (1, 2, 13)"));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents WHERE PROCESS_ENTRY_KEY <> 0"), 0);
  ExpectRescanFindsNothing();
}

// A re-read removes only rows of the locations it read: a row of another location
// that is no longer on the machine waits for the next rescan.
TEST_F(ReReadTest, ARemovalIsLimitedToTheLocationsReRead) {
  ASSERT_GT(machine_.Database().AddLoadPointEntry(2, u"", u"Elsewhere", u"C:\\e.exe", u""), 0);
  Engine().StartNotifications();
  machine_.Import(std::string(kRunKey) + "\"Drop\"=-\r\n");
  ReReadUntil([&] { return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Drop'") == 0; });
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Elsewhere'"), 1);
}

TEST_F(ReReadTest, ABurstOfTenThousandValuesIsAFewReReads) {
  Engine().StartNotifications();
  Platform::Registry& registry = machine_.System().Registry();
  Platform::ScopedKey run;
  ASSERT_EQ(registry.OpenKey(Platform::kHkeyLocalMachine,
                             u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                             Platform::kKeySetValue, run.Receive(registry)),
            Platform::kErrorSuccess);
  for (int i = 0; i < 10000; ++i) {
    const std::u16string name = u"Burst" + Platform::Utf8ToUtf16(std::to_string(i));
    ASSERT_EQ(registry.SetValue(run.Get(), name, Platform::kRegSz, EngineTest::Wide(u"C:\\b.exe")),
              Platform::kErrorSuccess);
  }
  const int passes = ReReadUntil([&] {
    return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'Burst%'") == 10000;
  });
  EXPECT_LE(passes, 3);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM EventOrigin WHERE ORIGIN = 2"), 10000);
}

// A key that keeps changing for two seconds, a value set every millisecond: its
// notifications are coalesced (a pass per notification would be hundreds), yet it
// is not held until it settles either, since no change may wait a second: it is
// re-read every so often while it changes, and once more when it stops.
TEST_F(ReReadTest, AKeyThatKeepsChangingIsReReadAtAMeasuredPace) {
  Engine().StartNotifications();
  Platform::Registry& registry = machine_.System().Registry();
  Platform::ScopedKey run;
  ASSERT_EQ(registry.OpenKey(Platform::kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                             Platform::kKeySetValue, run.Receive(registry)),
            Platform::kErrorSuccess);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    const auto end = std::chrono::steady_clock::now() + 2s;
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
      const std::u16string path = u"C:\\busy" + Platform::Utf8ToUtf16(std::to_string(i)) + u".exe";
      registry.SetValue(run.Get(), u"Busy", Platform::kRegSz, EngineTest::Wide(path));
      std::this_thread::sleep_for(1ms);
    }
    registry.SetValue(run.Get(), u"Busy", Platform::kRegSz, EngineTest::Wide(u"C:\\last.exe"));
    writing = false;
  });
  int passesWhileWriting = 0;
  while (writing) {
    if (Engine().ReReadNotified() > 0) ++passesWhileWriting;
    std::this_thread::sleep_for(1ms);
  }
  writer.join();
  ReReadUntilRow("ENTRY_NAME = 'Busy' AND COMMAND_LINE = 'C:\\last.exe'");
  EXPECT_GE(passesWhileWriting, 3) << "the key was held until it settled";
  EXPECT_LE(passesWhileWriting, 12) << "the notifications were not coalesced";
  ExpectRescanFindsNothing();
}

// A user who logs on after the start is watched from then on; the rows of one who
// logged off stay, as a rescan leaves them.
TEST_F(ReReadTest, AUserLoggingOnIsWatchedAndLoggingOffRemovesNothing) {
  Engine().StartNotifications();
  Emulated::RegistryStore& hives = machine_.Machine().RegistryState();
  hives.LoadUserHives(kBobSid);
  std::this_thread::sleep_for(1500ms);  // the hive list is looked at every second
  machine_.Import(std::string("[HKEY_USERS\\") + Platform::Utf16ToUtf8(kBobSid) +
                  "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"Bobs\"=\"C:\\\\b.exe\"\r\n");
  ReReadUntilRow("ENTRY_NAME = 'Bobs'");
  hives.UnloadUserHives(kBobSid);
  std::this_thread::sleep_for(1500ms);
  while (Engine().ReReadNotified() > 0) {
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Bobs'"), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 2"), 0);
}

// The common startup folder: a file dropped in and taken away; then more files at
// once than the watch's buffer holds, which overflows it: the folder is read whole.
TEST_F(ReReadTest, StartupFolderFilesAreSeenAndAnOverflowReReadsTheFolder) {
  const std::u16string folder =
      VyrUtilities::GetSpecialFolder(machine_.System(), Platform::kCsidlCommonStartup);
  Engine().StartNotifications();
  machine_.WriteFile(folder + u"\\later.lnk");
  ReReadUntilRow("ENTRY_NAME = 'later.lnk'");
  ASSERT_EQ(machine_.System().Files().DeleteFile(folder + u"\\later.lnk"), Platform::kErrorSuccess);
  ReReadUntil([&] { return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'later.lnk'") == 0; });
  // About 70 bytes of records each: 400 fill the 16 KiB buffer more than once over.
  for (int i = 0; i < 400; ++i) {
    machine_.WriteFile(folder + u"\\burst-of-many-files-" + Platform::Utf8ToUtf16(std::to_string(i)) + u".lnk");
  }
  ReReadUntil([&] { return Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'burst%'") == 400; });
  EXPECT_EQ(NamedEvents(machine_, 2).front(), "13 0 2 later.lnk " +
                                                  Platform::Utf16ToUtf8(folder) + "\\later.lnk  gone");
  ExpectRescanFindsNothing();
}

// Values written straight into a machine key (created when missing), many at once.
void FillValues(Platform::System& system, Platform::Handle root, const std::u16string& path,
                const std::u16string& prefix, int count) {
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.CreateKey(root, path, 0, Platform::kKeySetValue, key.Receive(registry), nullptr),
            Platform::kErrorSuccess);
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(registry.SetValue(key.Get(), prefix + Platform::Utf8ToUtf16(std::to_string(i)),
                                Platform::kRegSz, EngineTest::Wide(u"C:\\bulk.exe")),
              Platform::kErrorSuccess);
  }
}

// A rescan with thousands of rows to add runs on its own thread while changes are
// made. A change to a location still ahead of it is committed by a re-read in its
// middle, before the summary event that ends the rescan. The Run key, which it read first:
// a value taken away before it began and put back during it keeps its row (the
// rescan must not remove what the re-read found), a value added is kept, a value
// deleted is removed once.
TEST_F(ReReadTest, AChangeDuringALongRescanIsCommittedBeforeTheRescanEnds) {
  Platform::System& system = machine_.System();
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (const std::u16string& path : std::vector<std::u16string>{run + u"Once", Wow64Path(run), Wow64Path(run + u"Once")}) {
    FillValues(system, Platform::kHkeyLocalMachine, path, u"Bulk", 1500);
  }
  machine_.Import(std::string(kRunKey) + "\"Drop\"=-\r\n");
  Engine().StartNotifications();
  std::atomic<bool> rescanEnded{false};
  std::thread rescan([&] {
    FullLoadPointScan(Engine(), 0);
    rescanEnded = true;
  });
  std::this_thread::sleep_for(200ms);
  machine_.Import(std::string(kRunKey) +
                  "\"Drop\"=\"C:\\\\drop.exe\"\r\n\"During\"=\"C:\\\\during.exe\"\r\n\"Keep\"=-\r\n"
                  "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\"
                  "Windows\\CurrentVersion\\Run]\r\n\"Ahead\"=\"C:\\\\ahead.exe\"\r\n");
  const bool endedEarly = rescanEnded;
  rescan.join();
  ASSERT_FALSE(endedEarly) << "the rescan was too short for the test";
  std::this_thread::sleep_for(100ms);
  while (Engine().ReReadNotified() > 0) {
  }
  const std::string aheadEvent = "(SELECT e.KEY FROM ChangeEvents e JOIN ExtendedEvent x ON "
                                 "x.CHANGE_EVENT_KEY = e.KEY WHERE x.PARAM_1 = 'Ahead')";
  EXPECT_EQ(Count("SELECT COUNT(*) FROM EventOrigin WHERE ORIGIN = 2 AND CHANGE_EVENT_KEY = " + aheadEvent), 1);
  // The rescan's summary event is written as it ends.
  EXPECT_GT(Count("SELECT MAX(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 6"), Count("SELECT " + aheadEvent))
      << "the re-read waited for the rescan's end";
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME IN ('Drop', 'During', 'Bulk1499')"), 5);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Keep'"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents e JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY "
                  "WHERE e.EVENT_TYPE = 2 AND x.PARAM_1 IN ('Keep', 'Drop')"), 1);
  ExpectRescanFindsNothing();
}

TEST_F(ReReadTest, StoppedNotificationsReReadNothing) {
  Engine().StartNotifications();
  Engine().StopNotifications();
  machine_.Import(std::string(kRunKey) + "\"New\"=\"C:\\\\new.exe\"\r\n");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Engine().ReReadNotified(), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'New'"), 0);
}

}  // namespace

}  // namespace Engine
