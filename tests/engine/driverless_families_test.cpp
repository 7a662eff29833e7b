// Families without the driver beyond the load-point locations' own keys: the COM
// classes that rows name, the settings and file-extension checks, and one change of
// each remaining family, each seen through its notification with nothing left for
// a rescan to correct.

#include "driverless_fixture.h"
#include "fileinfo/profile_folders.h"

using FileInfo::ProfilesRoot;
using FileInfo::UserStartupSuffix;

namespace Engine {

namespace {

using namespace std::chrono_literals;
using namespace DriverlessTest;

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

// A machine setting, a user's setting (also of a user who logged on since) and the
// command that opens programs changed without the driver reach the record through
// their notifications (origin 2);
// changed while nothing watched, the check after the next rescan names them
// (origin 1); a rescan after that names nothing more.
TEST_F(ReReadTest, SettingAndHandlerChangesAreNamedWithHowTheyWereLearnt) {
  Engine().StartNotifications();
  machine_.Import(std::string(kSecurityCenter) + "\"FirewallOverride\"=dword:00000001\r\n" + kOpenCommand +
                  "@=\"C:\\\\evil.exe \\\"%1\\\"\"\r\n"
                  "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\Windows\\"
                  "CurrentVersion\\Policies\\System]\r\n\"DisableTaskMgr\"=dword:00000001\r\n");
  ReReadUntil([&] { return CheckEvents(machine_).size() == 3; });
  // A user who logs on later: the check on a notification reads that user's hive.
  machine_.Machine().RegistryState().LoadUserHives(kBobSid);
  std::this_thread::sleep_for(1500ms);  // the hive list is looked at every second
  machine_.Import("[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1002\\Software\\Microsoft\\Windows\\"
                  "CurrentVersion\\Policies\\System]\r\n\"DisableRegistryTools\"=dword:00000001\r\n");
  ReReadUntil([&] { return CheckEvents(machine_).size() == 4; });
  Engine().StopNotifications();
  machine_.Import(std::string(kSecurityCenter) + "\"FirewallOverride\"=dword:00000000\r\n" + kOpenCommand +
                  "@=-\r\n");
  Engine().Rescan(0);
  EXPECT_EQ(CheckEvents(machine_),
            (std::vector<std::string>{"1 7 0 12=0", "1 14 0 exefile\\shell\\open\\command C:\\evil.exe \"%1\" ",
                                      "2 7 0 12=0", "2 7 0 1=1", "2 7 0 2=1",
                                      "2 8 0 exefile\\shell\\open\\command C:\\evil.exe \"%1\" "}));
  const size_t events = CheckEvents(machine_).size();
  Engine().Rescan(0);
  EXPECT_EQ(CheckEvents(machine_).size(), events);
}

}  // namespace

}  // namespace Engine
