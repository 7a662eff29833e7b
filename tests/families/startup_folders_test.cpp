// Startup folders: which folders the rescan reads on each Windows generation, and
// the removal of a folder load point.

#include "families/startup_folders/startup_folder_events.h"
#include "families/startup_folders/startup_folders.h"
#include "intake/brumevale_event.h"
#include "families/common/load_point_catalogue.h"
#include "support/engine_fixture.h"
#include "support/scan_test_machine.h"

using Engine::LoadPointEngine;
using Intake::BrumevaleFileEvent;
using Intake::FileEntry;
using Intake::kFileDeleted;
using Intake::kFileWritten;
using enum Intake::MatcherCode;

namespace Families {

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

// Each live event carries the entry as it was at that moment and the process that
// made it: the history must name a shortcut after its row is gone.
TEST(StartupFolders, LiveEventsRecordTheEntryAndTheActingProcess) {
  ScanMachine machine;
  LoadPointEngine& engine = machine.Engine();
  const std::u16string folder = u"C:\\Users\\alice\\Startup";
  auto event = [&](const std::u16string& path) {
    const std::unique_ptr<FileEntry> entry = EngineTest::MakeFileEntry(machine.System(), kFileWritten, path);
    return BrumevaleFileEvent(*entry, kUserStartupFolderCode, path, u"alice");
  };
  HandleFolderFileEvent(engine, event(folder + u"\\x.lnk"), 42);
  HandleFolderFileEvent(engine, event(folder + u"\\x.lnk"), 42);
  // The same name in a subfolder is the same entry with another path.
  HandleFolderFileEvent(engine, event(folder + u"\\sub\\x.lnk"), 42);
  // Only the first deletion finds a row to remove and record.
  EXPECT_EQ(HandleFolderFileRemoval(engine, event(folder + u"\\sub\\x.lnk"), 42), 1);
  EXPECT_EQ(HandleFolderFileRemoval(engine, event(folder + u"\\sub\\x.lnk"), 42), 0);

  const std::string x = Narrow(folder) + "\\x.lnk";
  const std::string sub = Narrow(folder) + "\\sub\\x.lnk";
  EXPECT_EQ(machine.Sql("SELECT c.EVENT_TYPE, e.EX_EVENT_TYPE, e.PARAM_0, e.PARAM_1, e.PARAM_2, "
                        "e.PARAM_4, e.PARAM_5, c.PROCESS_ENTRY_KEY > 0 AND e.PARAM_3 = c.PROCESS_ENTRY_KEY "
                        "FROM ChangeEvents c JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY ORDER BY c.KEY"),
            (SqlRows{{"13", "1", "28", "x.lnk", "alice", x, "", "1"},
                     {"1", "2", "28", "x.lnk", "alice", x, x, "1"},
                     {"1", "2", "28", "x.lnk", "alice", sub, x, "1"},
                     {"2", "4", "28", "x.lnk", "alice", sub, "", "1"}}));
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"0"}}));
}

// Task rows are named by their task's identifier; a task file that happens to carry
// that name is still no startup entry, and its deletion is the task handlers' and
// the rescan's to judge.
TEST(StartupFolders, TaskFileRemovalLeavesTheTaskRowAlone) {
  ScanMachine machine;
  const std::u16string id = u"{B71F0C2A-95E4-4D3B-8A6C-1F2E3D4C5B6A}";
  const std::u16string path = u"C:\\Windows\\System32\\Tasks\\" + id;
  machine.Database().AddLoadPointEntry(64, u"", id, u"C:\\updater.exe", u"");
  const std::unique_ptr<FileEntry> entry = EngineTest::MakeFileEntry(machine.System(), kFileDeleted, path);
  EXPECT_EQ(HandleFolderFileRemoval(machine.Engine(), BrumevaleFileEvent(*entry, kTasksFolderCode, path, u""), 42), 0);
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"1"}}));
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM ChangeEvents"), (SqlRows{{"0"}}));
}

}  // namespace Families
