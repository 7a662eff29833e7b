// Re-reads that stand in for the driver: a rescan that names each row it finds
// changed, and change notifications that re-read the locations under the notified
// key. In both the rows must end as a full rescan leaves them, each change with an
// event of its own (no process, its origin in EventOrigin), and a rescan run
// afterwards must find nothing left to correct.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/engine_fixture.h"
#include "support/scan_test_machine.h"
#include "engine/scanner_table.h"
#include "fileinfo/profile_folders.h"
#include "util/path_routines.h"

namespace {

using namespace std::chrono_literals;

constexpr char kRunKey[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n";
constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"Keep\"=\"C:\\\\keep.exe\"\r\n\"Change\"=\"C:\\\\old.exe\"\r\n\"Drop\"=\"C:\\\\drop.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n\"ImagePath\"=\"C:\\\\own.exe\"\r\n";

// A machine whose engine runs its real rescans (the first one is the baseline).
class ReReadTest : public ::testing::Test {
 protected:
  explicit ReReadTest(const std::string& boot = kBoot) : machine_(TwoUserConfig(), boot, &queue_) {}

  LoadPointEngine& Engine() { return machine_.Engine(); }

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
    FullLoadPointScan(Engine(), 0);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Events(), events) << "the rescan corrected what the notifications left";
  }

  EngineTest::QueueConsumer queue_;
  ScanMachine machine_;
};

// Each row's columns joined by spaces.
std::vector<std::string> Joined(const SqlRows& rows) {
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
std::vector<std::string> NamedEvents(ScanMachine& machine, int origin) {
  return Joined(machine.Sql(
      "SELECT e.EVENT_TYPE, e.PROCESS_ENTRY_KEY, o.ORIGIN, x.PARAM_1, x.PARAM_4, x.PARAM_5, "
      "COALESCE(l.CHANGE_EVENT_KEY = e.KEY, 'gone') FROM ChangeEvents e "
      "JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY "
      "JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY "
      "LEFT JOIN LoadPoints l ON l.KEY = e.LOAD_POINT_KEY WHERE o.ORIGIN = " +
      std::to_string(origin) + " ORDER BY e.KEY"));
}

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
// middle, before the events it writes afterwards. The Run key, which it read first:
// a value taken away before it began and put back during it keeps its row (the
// rescan must not remove what the re-read found), a value added is kept, a value
// deleted is removed once.
TEST_F(ReReadTest, AChangeDuringALongRescanIsCommittedBeforeTheRescanEnds) {
  Platform::System& system = machine_.System();
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (const std::u16string& path : std::vector<std::u16string>{run + u"Once", Wow64Path(run), Wow64Path(run + u"Once")}) {
    FillValues(system, Platform::kHkeyLocalMachine, path, u"Bulk", 800);
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
  EXPECT_GT(Count("SELECT COUNT(*) FROM ChangeEvents e JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY "
                  "WHERE o.ORIGIN = 1 AND e.KEY > " + aheadEvent), 0)
      << "the re-read waited for the rescan's end";
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME IN ('Drop', 'During', 'Bulk799')"), 5);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Keep'"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents e JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY "
                  "WHERE e.EVENT_TYPE = 2 AND x.PARAM_1 IN ('Keep', 'Drop')"), 1);
  ExpectRescanFindsNothing();
}

// The families not met above, each added and then taken away without the driver:
// an Active Setup component, a network provider, a name-space catalog entry, a
// browser extension, a print monitor, a driver, a 32-bit Run value, a user's screen
// saver, a scheduled task (its cache key and its file), a file in a user's startup
// folder and a protocol catalog entry. Each change reaches the record through its notification, and a
// rescan after each phase corrects nothing.
TEST_F(ReReadTest, TheOtherFamiliesAreSeenWithoutTheDriver) {
  const std::string alice = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string set = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001";
  const std::string taskCache =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{T1}";
  const std::u16string taskFile = u"C:\\Windows\\System32\\Tasks\\Vendor\\Mine";
  const std::u16string startupFile = ProfilesRoot(machine_.System()) + u"\\alice" +
                                     UserStartupSuffix(machine_.System()) + u"\\mine.lnk";
  const std::string added =
      "SELECT COUNT(*) FROM LoadPoints WHERE COMMAND_LINE IN ('C:\\setup.exe', 'C:\\pmnet.dll', "
      "'C:\\ns.dll', 'C:\\ext.exe', 'pm.dll', 'C:\\drv.sys', 'C:\\w.exe', 'C:\\s.scr', 'C:\\task.exe /x', 'C:\\lsp.dll', '" +
      Platform::Utf16ToUtf8(startupFile) + "')";
  Engine().StartNotifications();
  machine_.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{AS1}]\r\n"
      "\"StubPath\"=\"C:\\\\setup.exe\"\r\n"
      "[" + set + "\\Services\\PmNet\\NetworkProvider]\r\n\"ProviderPath\"=\"C:\\\\pmnet.dll\"\r\n\"Name\"=\"PmNet\"\r\n"
      "[" + set + "\\Control\\NetworkProvider\\Order]\r\n\"ProviderOrder\"=\"PmNet\"\r\n"
      "[" + set + "\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries\\000000000001]\r\n"
      "\"LibraryPath\"=\"C:\\\\ns.dll\"\r\n\"DisplayString\"=\"Ns\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{E1}]\r\n"
      "\"Exec\"=\"C:\\\\ext.exe\"\r\n"
      "[" + set + "\\Control\\Print\\Monitors\\Pm]\r\n\"Driver\"=\"pm.dll\"\r\n"
      "[" + set + "\\Services\\Drv]\r\n\"Type\"=dword:00000001\r\n\"Start\"=dword:00000001\r\n"
      "\"ImagePath\"=\"C:\\\\drv.sys\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
      "\"W\"=\"C:\\\\w.exe\"\r\n"
      "[" + alice + "\\Control Panel\\Desktop]\r\n\"SCRNSAVE.EXE\"=\"C:\\\\s.scr\"\r\n"
      "[" + taskCache + "]\r\n\"Path\"=\"\\\\Vendor\\\\Mine\"\r\n");
  machine_.WriteFile(taskFile, "<?xml version=\"1.0\"?><Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/"
                               "mit/task\"><Settings><Enabled>true</Enabled></Settings><Actions><Exec><Command>"
                               "C:\\task.exe</Command><Arguments>/x</Arguments></Exec></Actions></Task>");
  machine_.WriteFile(startupFile);
  // A protocol catalog entry: a packed item of 888 bytes that starts with the
  // provider's path in the system code page.
  std::vector<uint8_t> item(888, 0);
  const std::string lsp = "C:\\lsp.dll";
  std::copy(lsp.begin(), lsp.end(), item.begin());
  const std::u16string catalog =
      u"SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries\\000000000001";
  {
    Platform::Registry& registry = machine_.System().Registry();
    Platform::ScopedKey key;
    ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine, catalog, 0, Platform::kKeySetValue,
                                 key.Receive(registry), nullptr),
              Platform::kErrorSuccess);
    ASSERT_EQ(registry.SetValue(key.Get(), u"PackedCatalogItem", Platform::kRegBinary, item),
              Platform::kErrorSuccess);
  }
  ReReadUntil([&] { return Count(added) == 11; });
  ExpectRescanFindsNothing();

  machine_.Import(
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{AS1}]\r\n"
      "[-" + set + "\\Services\\PmNet]\r\n"
      "[-" + set + "\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries\\000000000001]\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{E1}]\r\n"
      "[-" + set + "\\Control\\Print\\Monitors\\Pm]\r\n"
      "[-" + set + "\\Services\\Drv]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"W\"=-\r\n"
      "[" + alice + "\\Control Panel\\Desktop]\r\n\"SCRNSAVE.EXE\"=-\r\n"
      "[-" + taskCache + "]\r\n"
      "[-" + set + "\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries\\000000000001]\r\n");
  ASSERT_EQ(machine_.System().Files().DeleteFile(taskFile), Platform::kErrorSuccess);
  ASSERT_EQ(machine_.System().Files().DeleteFile(startupFile), Platform::kErrorSuccess);
  ReReadUntil([&] { return Count(added) == 0; });
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ChangeEvents e JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY "
                  "WHERE o.ORIGIN = 2 AND e.PROCESS_ENTRY_KEY = 0"),
            Count("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE IN (1, 2, 13)"));
  ExpectRescanFindsNothing();
}

// Two shell hooks naming classes, one in each view, their classes registered.
constexpr char kHookClasses[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks]\r\n"
    "\"{AAAAAAAA-0000-0000-0000-000000000001}\"=\"\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
    "ShellExecuteHooks]\r\n\"{BBBBBBBB-0000-0000-0000-000000000002}\"=\"\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{AAAAAAAA-0000-0000-0000-000000000001}]\r\n@=\"Hook A\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{AAAAAAAA-0000-0000-0000-000000000001}\\InProcServer32]\r\n"
    "@=\"C:\\\\a.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{BBBBBBBB-0000-0000-0000-000000000002}]\r\n"
    "@=\"Hook B\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{BBBBBBBB-0000-0000-0000-000000000002}\\"
    "InProcServer32]\r\n@=\"C:\\\\b.dll\"\r\n";

class ClassReReadTest : public ReReadTest {
 protected:
  ClassReReadTest() : ReReadTest(std::string(kBoot) + kHookClasses) {}
  std::vector<std::string> Indirections() {
    std::vector<std::string> rows;
    for (const auto& row : machine_.Sql("SELECT l.ENTRY_NAME, i.ENTRY_NAME, i.COMMAND_LINE FROM LoadPoints l "
                                        "JOIN Indirection i ON i.KEY = l.INDIRECTION_KEY ORDER BY 1")) {
      rows.push_back(row[0] + " " + row[1] + " " + row[2]);
    }
    return rows;
  }
};

// The class keys the start-up rescan follows are watched without the driver, in
// both views: a server changed, and a class removed, each reach the record as the
// load point's change, through the notification alone (the first re-read that
// every new class watch gets is over before the changes are made).
TEST_F(ClassReReadTest, AClassServerChangedOrRemovedReachesTheRecord) {
  ASSERT_EQ(Indirections(), (std::vector<std::string>{
                                "{AAAAAAAA-0000-0000-0000-000000000001} Hook A C:\\a.dll",
                                "{BBBBBBBB-0000-0000-0000-000000000002} Hook B C:\\b.dll"}));
  Engine().StartNotifications();
  std::this_thread::sleep_for(1500ms);  // the class watches are armed within a second
  while (Engine().ReReadNotified() > 0) {
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM EventOrigin"), 0) << "a first re-read found a change";
  machine_.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{AAAAAAAA-0000-0000-0000-000000000001}\\"
      "InProcServer32]\r\n@=\"C:\\\\Users\\\\Public\\\\a.dll\"\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{BBBBBBBB-0000-0000-0000-000000000002}]\r\n");
  ReReadUntil([&] { return Count("SELECT COUNT(*) FROM EventOrigin WHERE ORIGIN = 2") == 2; });
  EXPECT_EQ(Indirections(), (std::vector<std::string>{
                                "{AAAAAAAA-0000-0000-0000-000000000001} Hook A C:\\Users\\Public\\a.dll"}));
  EXPECT_EQ(NamedEvents(machine_, 2),
            (std::vector<std::string>{"1 0 2 Hook A C:\\Users\\Public\\a.dll C:\\a.dll 1",
                                      "2 0 2 Hook B C:\\b.dll  1"}));
  ExpectRescanFindsNothing();
}

// The events of the settings and file-extension checks, with what they name:
// origin, type, process, then the setting's type and value or the handler's key and
// its new and old values.
std::vector<std::string> CheckEvents(ScanMachine& machine) {
  return Joined(machine.Sql(
      "SELECT o.ORIGIN, e.EVENT_TYPE, e.PROCESS_ENTRY_KEY, COALESCE(s.TYPE || '=' || s.CURRENT_VALUE, "
      "x.PARAM_1 || ' ' || x.PARAM_4 || ' ' || COALESCE(x.PARAM_5, '')) FROM ChangeEvents e "
      "LEFT JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY "
      "LEFT JOIN SystemSetting s ON s.KEY = e.LOAD_POINT_KEY AND e.EVENT_TYPE = 7 "
      "LEFT JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY "
      "WHERE e.EVENT_TYPE IN (7, 8, 14) ORDER BY 1, 2, 4"));
}

constexpr char kSecurityCenter[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Security Center]\r\n";
constexpr char kOpenCommand[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command]\r\n";

// A machine setting, a user's setting and the command that opens programs changed
// without the driver reach the record through their notifications (origin 2);
// changed while nothing watched, the check after the next rescan names them
// (origin 1); a rescan after that names nothing more.
TEST_F(ReReadTest, SettingAndHandlerChangesAreNamedWithHowTheyWereLearnt) {
  Engine().StartNotifications();
  machine_.Import(std::string(kSecurityCenter) + "\"FirewallOverride\"=dword:00000001\r\n" + kOpenCommand +
                  "@=\"C:\\\\evil.exe \\\"%1\\\"\"\r\n"
                  "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\Windows\\"
                  "CurrentVersion\\Policies\\System]\r\n\"DisableTaskMgr\"=dword:00000001\r\n");
  ReReadUntil([&] { return CheckEvents(machine_).size() == 3; });
  Engine().StopNotifications();
  machine_.Import(std::string(kSecurityCenter) + "\"FirewallOverride\"=dword:00000000\r\n" + kOpenCommand +
                  "@=-\r\n");
  Engine().Rescan(0);
  EXPECT_EQ(CheckEvents(machine_),
            (std::vector<std::string>{"1 7 0 12=0", "1 14 0 exefile\\shell\\open\\command C:\\evil.exe \"%1\" ",
                                      "2 7 0 12=0", "2 7 0 2=1",
                                      "2 8 0 exefile\\shell\\open\\command C:\\evil.exe \"%1\" "}));
  const size_t events = CheckEvents(machine_).size();
  Engine().Rescan(0);
  EXPECT_EQ(CheckEvents(machine_).size(), events);
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
