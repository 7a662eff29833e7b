// Scheduled tasks registered, changed and deleted live: the task-cache key and the
// task file may arrive in either order. Real task files as Windows writes them
// (UTF-16 with a byte-order mark) go in through a process's own file handle.

#include "live_image.h"

namespace LiveTest {
namespace {

constexpr char kCache[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";
constexpr char kCache32[] =
    "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";

std::string RegisterTask(const char* cache, const std::string& guid, const std::string& path) {
  return std::string("3000 reg add \"") + cache + guid + "\" /v Path /d \"" + path + "\" /f\n";
}

std::string ExecTask(const std::string& enabled, const std::string& arguments) {
  return "<?xml version=\\\"1.0\\\"?><Task><Settings><Enabled>" + enabled +
         "</Enabled></Settings><Actions><Exec><Command>C:\\px\\upd.exe</Command><Arguments>" +
         arguments + "</Arguments></Exec></Actions></Task>";
}

class LiveTasks : public LiveImage {
 protected:
  std::string RealTask(const std::string& name) {
    const fs::path real = SharedRealData();
    return real.empty() ? "" : ReadHostFile(real / "tasks" / name);
  }
};

TEST_F(LiveTasks, RealTaskFilesInEitherOrder) {
  const std::string defrag = RealTask("ScheduledDefrag.xml");
  if (defrag.empty()) GTEST_SKIP() << "no real task files in BRUMEVALE_SHARED_DIR";
  Boot("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{89917B7C-A1A6-11DF-8BF6-18A90531A85A}]\r\n"
       "@=\"File History Maintenance\"\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{89917B7C-A1A6-11DF-8BF6-18A90531A85A}\\InProcServer32]\r\n"
       "@=\"%SystemRoot%\\\\system32\\\\fhsvc.dll\"\r\n\r\n");
  const std::u16string tasks = kTasks;
  // The cache key first: nothing until the file is there.
  int64_t mark = LastEventKey();
  Play(RegisterTask(kCache, "{G-DEFRAG}", "\\Microsoft\\Windows\\Defrag\\ScheduledDefrag"));
  EXPECT_EQ(EventsSince(mark), "");
  WriteAs(kInstaller, tasks + u"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag", defrag);
  EXPECT_EQ(EventsSince(mark), "13 process 1|64|\\Microsoft\\Windows\\Defrag\\ScheduledDefrag||"
                               "%windir%\\system32\\defrag.exe -c -o -$|\n");

  // The file first: nothing until the cache names it. A disabled task is no load point.
  mark = LastEventKey();
  WriteAs(kInstaller, tasks + u"\\Copy-Tasks\\Daily-Copys", RealTask("Daily-Copys.xml"));
  WriteAs(kInstaller, tasks + u"\\Copy-Tasks\\Online-Copys", RealTask("Online-Copys.xml"));
  WriteAs(kInstaller, tasks + u"\\Microsoft\\Windows\\FileHistory\\File History (maintenance mode)",
          RealTask("File_History_maintenance_mode_.xml"));
  EXPECT_EQ(EventsSince(mark), "");
  Play(RegisterTask(kCache, "{G-DAILY}", "\\Copy-Tasks\\Daily-Copys") +
       RegisterTask(kCache, "{G-ONLINE}", "\\Copy-Tasks\\Online-Copys") +
       RegisterTask(kCache, "{G-FH}", "\\Microsoft\\Windows\\FileHistory\\File History (maintenance mode)"));
  const std::string events = EventsSince(mark);
  EXPECT_EQ(events.substr(0, events.find('\n')),
            "13 process 1|64|\\Copy-Tasks\\Daily-Copys||\"C:\\Program Files\\FreeFileSync\\FreeFileSync.exe\" "
            "\"C:\\Users\\Nick\\Dropbox\\Random Save\\Task Scheduler Rules\\BrawlhallaReplays.ffs_batch\"|");
  // A COM-handler task runs its class's server.
  EXPECT_EQ(events.substr(events.find('\n') + 1),
            "13 process 1|64|File History Maintenance||%SystemRoot%\\system32\\fhsvc.dll|\n");
  EXPECT_EQ(Sql("SELECT l.ENTRY_NAME, l.COMMAND_LINE, i.COMMAND_LINE FROM LoadPoints l JOIN Indirection i "
                "ON i.KEY = l.INDIRECTION_KEY WHERE l.LP_TYPE = 64"),
            (SqlRows{{"{G-FH}", "", "%SystemRoot%\\system32\\fhsvc.dll"}}));
  ExpectRescanAgrees();

  // Disabled in its file: the task goes at once.
  std::string disabled = defrag;
  const std::string on = Utf16File("<Enabled>true</Enabled>\r\n    <Hidden>").substr(2);
  ASSERT_NE(disabled.find(on), std::string::npos);
  disabled.replace(disabled.find(on), on.size(), Utf16File("<Enabled>false</Enabled>\r\n    <Hidden>").substr(2));
  mark = LastEventKey();
  WriteAs(kExplorer, tasks + u"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag", disabled);
  EXPECT_EQ(EventsSince(mark), "2 process 4|64|\\Microsoft\\Windows\\Defrag\\ScheduledDefrag||"
                               "%windir%\\system32\\defrag.exe -c -o -$|\n");
  ExpectRescanAgrees();
}

// Task files made for the repository in the same shapes (tests/fixtures), for every
// clone: either order, a disabled task, a COM handler and a task of several actions.
TEST_F(LiveTasks, FixtureTaskFilesInEitherOrder) {
  const auto fixture = [](const std::string& name) {
    return ReadHostFile(fs::path(BRUMEVALE_FIXTURES_DIR) / "tasks" / name);
  };
  const std::string handler = "{5A0D3E41-77C2-4B8E-9F10-2C6B9E4D1A07}";
  Boot("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" + handler + "]\r\n@=\"Tide Relay Handler\"\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" + handler + "\\InProcServer32]\r\n"
       "@=\"C:\\\\Program Files\\\\Gullwing\\\\relayhandler.dll\"\r\n\r\n");
  const std::u16string tasks = kTasks;
  int64_t mark = LastEventKey();
  Play(RegisterTask(kCache, "{F-SWEEP}", "\\Gullwing\\NightlySweep"));
  EXPECT_EQ(EventsSince(mark), "");
  WriteAs(kInstaller, tasks + u"\\Gullwing\\NightlySweep", fixture("NightlySweep.xml"));
  EXPECT_EQ(EventsSince(mark), "13 process 1|64|\\Gullwing\\NightlySweep||"
                               "%ProgramFiles%\\Gullwing\\sweep.exe --quiet --all|\n");

  mark = LastEventKey();
  WriteAs(kInstaller, tasks + u"\\Copies\\ManyCopies", fixture("ManyCopies.xml"));
  WriteAs(kInstaller, tasks + u"\\Copies\\PausedCopy", fixture("PausedCopy.xml"));
  WriteAs(kInstaller, tasks + u"\\Gullwing\\RelayHandler", fixture("RelayHandler.xml"));
  EXPECT_EQ(EventsSince(mark), "");
  Play(RegisterTask(kCache, "{F-MANY}", "\\Copies\\ManyCopies") +
       RegisterTask(kCache, "{F-PAUSED}", "\\Copies\\PausedCopy") +
       RegisterTask(kCache, "{F-RELAY}", "\\Gullwing\\RelayHandler"));
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|64|\\Copies\\ManyCopies||\"C:\\Program Files\\Gullwing\\sweeper.exe\" "
            "\"D:\\Backups\\set 1.job\"|\n"
            "13 process 1|64|Tide Relay Handler||C:\\Program Files\\Gullwing\\relayhandler.dll|\n");
  ExpectRescanAgrees();
}

TEST_F(LiveTasks, Wow64TaskChangedAndDeleted) {
  Boot();
  const std::string file = "C:\\Windows\\SysWOW64\\Tasks\\PixelMoor\\Update";
  int64_t mark = LastEventKey();
  Play(RegisterTask(kCache32, "{W1}", "\\PixelMoor\\Update") +
       "3000 file write \"" + file + "\" \"" + ExecTask("TRUE", "/quiet") + "\"\n");
  EXPECT_EQ(EventsSince(mark), "13 process 1|65|\\PixelMoor\\Update||C:\\px\\upd.exe /quiet|\n");
  ExpectRescanAgrees();

  // New arguments are a change; the same file again is none.
  mark = LastEventKey();
  Play("3000 file write \"" + file + "\" \"" + ExecTask("true", "/silent") + "\"\n" +
       "3000 file write \"" + file + "\" \"" + ExecTask("true", "/silent") + "\"\n");
  EXPECT_EQ(EventsSince(mark), "1 process 2|65|{W1}||C:\\px\\upd.exe /silent|C:\\px\\upd.exe /quiet\n");
  ExpectRescanAgrees();

  // Registered under a second GUID too: one file, two rows. Then both go.
  mark = LastEventKey();
  Play(RegisterTask(kCache32, "{W2}", "\\PixelMoor\\Update") +
       "3000 reg delete \"" + kCache32 + "{W1}\" /v Path /f\n" +
       "3000 reg delete \"" + kCache32 + "{W2}\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|65|\\PixelMoor\\Update||C:\\px\\upd.exe /silent|\n"
            "2 process 4|65|\\PixelMoor\\Update||C:\\px\\upd.exe /silent|\n"
            "2 process 4|65|{W2}||C:\\px\\upd.exe /silent|\n");
  EXPECT_TRUE(Sql("SELECT KEY FROM LoadPoints WHERE LP_TYPE = 65").empty());
  ExpectRescanAgrees();
}

constexpr char kTaskClasses[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C8}]\r\n@=\"Pixel Job\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C8}\\InProcServer32]\r\n@=\"C:\\\\px\\\\job.dll\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C9}]\r\n@=\"Pixel Job 2\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C9}\\InProcServer32]\r\n@=\"C:\\\\px\\\\job2.dll\"\r\n\r\n";

std::string ComTask(const std::string& classId) {
  return "<?xml version=\\\"1.0\\\"?><Task><Settings><Enabled>true</Enabled></Settings><Actions>"
         "<ComHandler><ClassId>" + classId + "</ClassId></ComHandler></Actions></Task>";
}

TEST_F(LiveTasks, ComHandlerTaskMovedToAnotherClass) {
  Boot(kTaskClasses);
  const std::string file = "C:\\Windows\\System32\\Tasks\\PixelMoor\\Job";
  int64_t mark = LastEventKey();
  Play("3000 file write \"" + file + "\" \"" + ComTask("{C8}") + "\"\n" +
       RegisterTask(kCache, "{J1}", "\\PixelMoor\\Job"));
  EXPECT_EQ(EventsSince(mark), "13 process 1|64|Pixel Job||C:\\px\\job.dll|\n");

  // The file now names another class; the command line (empty) is the same, so the
  // file alone changes nothing. Registering the task again finds the new server.
  mark = LastEventKey();
  Play("3000 file write \"" + file + "\" \"" + ComTask("{C9}") + "\"\n" +
       RegisterTask(kCache, "{J1}", "\\PixelMoor\\Job"));
  EXPECT_EQ(EventsSince(mark), "1 process 2|64|Pixel Job 2||C:\\px\\job2.dll|C:\\px\\job.dll\n");
  EXPECT_EQ(Sql("SELECT i.ENTRY_NAME, i.COMMAND_LINE FROM Indirection i JOIN LoadPoints l "
                "ON l.INDIRECTION_KEY = i.KEY WHERE l.ENTRY_NAME = '{J1}'"),
            (SqlRows{{"Pixel Job 2", "C:\\px\\job2.dll"}}));
  ExpectRescanAgrees();
}

}  // namespace
}  // namespace LiveTest
