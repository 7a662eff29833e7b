// Scheduled tasks: task files as Windows writes them, and the rescan of both caches.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/registry_event_matcher.h"
#include "families/tasks/task_scan.h"
#include "support/scan_test_machine.h"

using Engine::LoadPointEngine;
using Engine::RegistryEventMatcher;
using Intake::RegistryKeyPath;
using enum Intake::RegistryRootKind;

namespace Families {

namespace {

const std::filesystem::path kRealTasks =
    std::filesystem::path(BRUMEVALE_SHARED_DIR) / "testdata/real/tasks";

std::vector<uint8_t> HostBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string TaskXml(const std::string& settings, const std::string& actions) {
  return "<?xml version=\"1.0\"?><Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">" +
         settings + "<Actions>" + actions + "</Actions></Task>";
}

constexpr char kEnabled[] = "<Settings><Enabled>true</Enabled></Settings>";
constexpr char kExec[] = "<Exec><Command>C:\\a.exe</Command><Arguments>/x</Arguments></Exec>";
constexpr char kClassId[] = "{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}";
const std::string kComHandler = std::string("<ComHandler><ClassId>") + kClassId + "</ClassId></ComHandler>";

struct TaskFileCase {
  const char* file;
  int32_t enabled;
  int32_t comHandler;
  std::u16string command;
  std::u16string commandLine;
};

// Each file written where the scheduler keeps it and read back by the task family.
void ExpectTaskFiles(const std::filesystem::path& folder, const std::vector<TaskFileCase>& cases) {
  ScanMachine machine;
  for (const TaskFileCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::u16string path = u"C:\\Windows\\System32\\Tasks\\" +
                                std::u16string(c.file, c.file + std::strlen(c.file));
    const std::vector<uint8_t> bytes = HostBytes(folder / c.file);
    ASSERT_FALSE(bytes.empty());
    machine.WriteFile(path, bytes);
    TaskDefinition task;
    ASSERT_EQ(ParseTaskXml(machine.System(), task, path), 1);
    EXPECT_EQ(task.enabled, c.enabled);
    EXPECT_EQ(task.comHandler, c.comHandler);
    EXPECT_EQ(task.command, c.command);
    EXPECT_EQ(task.commandLine, c.commandLine);
  }
}

}  // namespace

TEST(TaskScan, RealTaskFilesAsWindowsWritesThem) {
  if (!std::filesystem::exists(kRealTasks)) {
    GTEST_SKIP() << "real task files not found under " << kRealTasks;
  }
  const std::u16string freeFileSync = u"\"C:\\Program Files\\FreeFileSync\\FreeFileSync.exe\"";
  ExpectTaskFiles(kRealTasks, {
      {"ScheduledDefrag.xml", 1, 0, u"%windir%\\system32\\defrag.exe",
       u"%windir%\\system32\\defrag.exe -c -o -$"},
      {"File_History_maintenance_mode_.xml", 1, 1, u"{89917B7C-A1A6-11DF-8BF6-18A90531A85A}", u""},
      // Its trigger is enabled, but the task itself is not: only Settings counts.
      {"Online-Copys.xml", 0, 0, freeFileSync,
       freeFileSync + u" \"C:\\Users\\Nick\\Dropbox\\Random Save\\Task Scheduler "
                      u"Rules\\SyncMinecraftWinternodeModsffs_batch.ffs_batch\""},
      // Nineteen Exec actions: the first is the one that counts.
      {"Daily-Copys.xml", 1, 0, freeFileSync,
       freeFileSync + u" \"C:\\Users\\Nick\\Dropbox\\Random Save\\Task Scheduler "
                      u"Rules\\BrawlhallaReplays.ffs_batch\""},
  });
}

// The same shapes in files made for the repository (tests/fixtures), for every clone.
TEST(TaskScan, FixtureTaskFilesInTheShapesWindowsWrites) {
  const std::u16string sweeper = u"\"C:\\Program Files\\Gullwing\\sweeper.exe\"";
  ExpectTaskFiles(std::filesystem::path(BRUMEVALE_FIXTURES_DIR) / "tasks", {
      {"NightlySweep.xml", 1, 0, u"%ProgramFiles%\\Gullwing\\sweep.exe",
       u"%ProgramFiles%\\Gullwing\\sweep.exe --quiet --all"},
      {"RelayHandler.xml", 1, 1, u"{5A0D3E41-77C2-4B8E-9F10-2C6B9E4D1A07}", u""},
      {"PausedCopy.xml", 0, 0, sweeper, sweeper + u" \"D:\\Backups\\weekly set.job\""},
      {"ManyCopies.xml", 1, 0, sweeper, sweeper + u" \"D:\\Backups\\set 1.job\""},
  });
}

TEST(TaskScan, RescanReconcilesEnabledTasksAndResolvesComHandlers) {
  ScanMachine machine;
  const std::string cache = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";
  const std::string cacheWow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";
  machine.Import("[" + cache + "{A1}]\r\n\"Path\"=\"\\\\Vendor\\\\Updater\"\r\n"
                 "[" + cache + "{A2}]\r\n\"Path\"=\"\\\\Vendor\\\\Off\"\r\n"
                 "[" + cache + "{A3}]\r\n\"Path\"=\"\\\\Vendor\\\\Gone\"\r\n"
                 "[" + cache + "{A4}]\r\n\"Path\"=\"\\\\Vendor\\\\Job\"\r\n"
                 "[" + cacheWow + "{B1}]\r\n\"Path\"=\"\\\\Vendor\\\\Handler\"\r\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\" + kClassId + "]\r\n@=\"Vendor Handler\"\r\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\" + kClassId +
                 "\\InProcServer32]\r\n@=\"C:\\\\Windows\\\\SysWOW64\\\\handler.dll\"\r\n");
  // Enabled in capitals counts; an Exec counts before a ComHandler listed ahead of it.
  machine.WriteFile(u"C:\\Windows\\System32\\Tasks\\Vendor\\Updater",
                    TaskXml("<Settings><Enabled>TRUE</Enabled></Settings>", kComHandler + kExec));
  machine.WriteFile(u"C:\\Windows\\System32\\Tasks\\Vendor\\Off", TaskXml("<Settings/>", kExec));
  machine.WriteFile(u"C:\\Windows\\System32\\Tasks\\Vendor\\Job", "<Job><Settings><Enabled>true</Enabled></Settings></Job>");
  machine.WriteFile(u"C:\\Windows\\SysWOW64\\Tasks\\Vendor\\Handler", TaskXml(kEnabled, kComHandler));

  machine.RunInScan([](LoadPointEngine& engine) {
    EXPECT_EQ(ScanTasks(engine, 1, true), 1);
    EXPECT_EQ(ScanTasks(engine, 1, false), 1);
  });

  EXPECT_EQ(machine.Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, DISPLAY_NAME FROM LoadPoints "
                        "ORDER BY LP_TYPE"),
            (SqlRows{{"64", "", "{A1}", "C:\\a.exe /x", "\\Vendor\\Updater"},
                     {"65", "", "{B1}", "", "\\Vendor\\Handler"}}));
  EXPECT_EQ(machine.Sql("SELECT i.ENTRY_NAME, i.COMMAND_LINE FROM Indirection i JOIN LoadPoints l "
                        "ON l.INDIRECTION_KEY = i.KEY WHERE l.ENTRY_NAME = '{B1}'"),
            (SqlRows{{"Vendor Handler", "C:\\Windows\\SysWOW64\\handler.dll"}}));
  // The WOW64 task's class is watched under the task cache's own code, 72.
  RegistryKeyPath classKey;
  ASSERT_TRUE(classKey.Assign(kRootMachine,
                              u"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}\\InProcServer32", 0));
  const RegistryEventMatcher::Node* node = machine.Engine().RegistryMatcher().Walk(classKey);
  ASSERT_NE(node, nullptr);
  ASSERT_TRUE(node->valueEntries.contains(u""));
  EXPECT_EQ(node->valueEntries.at(u"").front().code, kTaskClassMatcherCode);
}

}  // namespace Families
