// Startup folders: which folders the rescan reads on each Windows generation, and
// the removal of a folder load point.

#include "families/startup_folders.h"
#include "support/scan_test_machine.h"

namespace {

constexpr char16_t kCommonFolder[] = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";

std::string Narrow(const std::u16string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(StartupFolders, RescanReadsTheCommonFolderAndEachVisibleProfile) {
  struct Case {
    const char* name;
    Platform::OsVersionInfo version;
    std::u16string suffix;
  };
  const Case cases[] = {
      {"Windows 10", Platform::OsVersionInfo{10, 0, 19045, 2, u"", 0, 0, 0x100, 1, 9},
       u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
      {"Windows XP", Platform::OsVersionInfo{5, 1, 2600, 2, u"Service Pack 3", 3, 0, 0x100, 1, 0},
       u"\\Start Menu\\Programs\\Startup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Emulated::MachineConfig config = TwoUserConfig();
    config.version = c.version;
    ScanMachine machine(std::move(config));
    const std::u16string alice = u"C:\\Users\\alice" + c.suffix;
    const std::u16string bob = u"C:\\Users\\bob" + c.suffix;
    machine.WriteFile(std::u16string(kCommonFolder) + u"\\common.lnk");
    machine.WriteFile(alice + u"\\x.lnk");
    machine.WriteFile(alice + u"\\sub\\deeper.lnk");  // subfolders are not entered
    machine.WriteFile(bob + u"\\b.exe");              // a logged-off user's folder is read too
    machine.WriteFile(u"C:\\Users\\All Users" + c.suffix + u"\\shared.lnk");
    machine.WriteFile(u"C:\\Users\\hidden" + c.suffix + u"\\h.lnk");
    machine.System().Files().SetFileAttributes(u"C:\\Users\\hidden",
                                               Platform::kFileAttributeDirectory |
                                                   Platform::kFileAttributeHidden);

    machine.RunInScan([](LoadPointEngine& engine) { EXPECT_EQ(ScanStartupFolders(engine), 3); });

    EXPECT_EQ(machine.Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, DISPLAY_NAME "
                          "FROM LoadPoints ORDER BY LP_TYPE, USER_ID"),
              (SqlRows{{"27", "", "common.lnk", Narrow(kCommonFolder) + "\\common.lnk", ""},
                       {"28", "alice", "x.lnk", Narrow(alice) + "\\x.lnk", ""},
                       {"28", "bob", "b.exe", Narrow(bob) + "\\b.exe", ""}}));
  }
}

TEST(StartupFolders, RemovalRecordsOnlyWhenAsked) {
  ScanMachine machine;
  LoadPointEngine& engine = machine.Engine();
  const int32_t x = machine.Database().AddLoadPointEntry(kUserStartupType, u"alice", u"x.lnk", u"C:\\x.lnk", u"");
  machine.Database().AddLoadPointEntry(kUserStartupType, u"alice", u"y.lnk", u"C:\\y.lnk", u"");
  EXPECT_EQ(RemoveFolderLoadPoint(engine, kUserStartupType, u"alice", u"x.lnk", 1), 1);
  EXPECT_EQ(RemoveFolderLoadPoint(engine, kUserStartupType, u"alice", u"x.lnk", 1), 0);
  EXPECT_EQ(RemoveFolderLoadPoint(engine, kUserStartupType, u"bob", u"y.lnk", 1), 0);
  EXPECT_EQ(RemoveFolderLoadPoint(engine, kUserStartupType, u"alice", u"y.lnk", 0), 1);
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"0"}}));
  EXPECT_EQ(machine.Sql("SELECT LOAD_POINT_KEY, PROCESS_ENTRY_KEY, EVENT_TYPE FROM ChangeEvents"),
            (SqlRows{{std::to_string(x), "0", "2"}}));
}
