// An installer changes load points of every family while the service runs; each
// change must be in the database as the change event of the installer's process,
// dated by the machine's clock, and the service's next start must find nothing left
// to correct.

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sim/machine_image.h"
#include "sim/service_session.h"
#include "sim/sim_commands.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

constexpr char kAnn[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kBen[] = "S-1-5-21-1004336348-1177238915-682003330-1002";

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n" << text;
}

int AppendRow(void* context, int count, char** values, char**) {
  auto* rows = static_cast<Rows*>(context);
  rows->emplace_back();
  for (int i = 0; i < count; ++i) rows->back().emplace_back(values[i] ? values[i] : "<null>");
  return 0;
}

class LiveChanges : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sim-live-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    image_ = pattern;
    std::ofstream(image_ / "machine.json")
        << R"({"utcOffsetMinutes": -300, "users": [
              {"sid": "S-1-5-21-1004336348-1177238915-682003330-1001", "account": "TINY\\ann", "profile": "C:\\Users\\ann", "loggedOn": true},
              {"sid": "S-1-5-21-1004336348-1177238915-682003330-1002", "account": "TINY\\ben", "profile": "C:\\Users\\ben", "loggedOn": true}],
              "processes": [{"pid": 2000, "image": "C:\\Setup\\setup.exe", "owner": "S-1-5-21-1004336348-1177238915-682003330-1001"}]})";
    const fs::path config = image_ / "drives/C/Windows/System32/config";
    Write(config / "SYSTEM.reg",
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Foo]\r\n\"Type\"=dword:00000010\r\n"
          "\"Start\"=dword:00000002\r\n\"ImagePath\"=\"C:\\\\foo.exe\"\r\n\"DisplayName\"=\"Foo\"\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Drv]\r\n\"Type\"=dword:00000001\r\n"
          "\"Start\"=dword:00000001\r\n\"ImagePath\"=\"drv.sys\"\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Lsa]\r\n"
          "\"Notification Packages\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\NetworkProvider\\Order]\r\n"
          "\"ProviderOrder\"=\"RDPNP\"\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\RDPNP\\NetworkProvider]\r\n"
          "\"ProviderPath\"=\"rdpnp.dll\"\r\n");
    Write(config / "SOFTWARE.reg",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C1}]\r\n@=\"Loader\"\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C1}\\InprocServer32]\r\n@=\"C:\\\\l1.dll\"\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad]\r\n"
          "\"Loader\"=\"{C1}\"\r\n");
    Write(image_ / "drives/C/Users/ann/NTUSER.reg", "");
    Write(image_ / "drives/C/Users/ben/NTUSER.reg", "");
  }
  void TearDown() override { fs::remove_all(image_); }

  void Run(const std::string& scenario) {
    std::ofstream(image_ / "t.scenario") << scenario;
    std::ostringstream out, err;
    ASSERT_EQ(Sim::RunImage(image_.string(), (image_ / "t.scenario").string(), false, out, err), 0) << err.str();
    EXPECT_NE(out.str().find(" 0 refused"), std::string::npos) << out.str();
  }

  Rows Sql(const std::string& sql) {
    Rows rows;
    sqlite3* db = nullptr;
    const std::string file = Sim::ImageHostPath(image_.string(), Sim::kDatabasePath);
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), AppendRow, &rows, &message), SQLITE_OK) << message;
    sqlite3_free(message);
    sqlite3_close(db);
    return rows;
  }

  // Live change events: EVENT_TYPE, EX_EVENT_TYPE, PARAM_0, 1, 2, 4, 5, and whether
  // PROCESS_ENTRY_KEY and PARAM_3 name one Processes row.
  Rows LiveEvents() {
    return Sql("SELECT c.EVENT_TYPE, e.EX_EVENT_TYPE, e.PARAM_0, e.PARAM_1, e.PARAM_2, e.PARAM_4, "
               "e.PARAM_5, (SELECT COUNT(*) FROM Processes p WHERE p.KEY = c.PROCESS_ENTRY_KEY "
               "AND CAST(p.KEY AS TEXT) = e.PARAM_3) FROM ChangeEvents c JOIN ExtendedEvent e ON "
               "e.CHANGE_EVENT_KEY = c.KEY WHERE c.PROCESS_ENTRY_KEY > 0 ORDER BY c.KEY");
  }

  fs::path image_;
};

TEST_F(LiveChanges, EveryFamilyRecordedWithItsProcessAndTheNextStartFindsNothing) {
  const std::string annRun = std::string("HKU\\") + kAnn + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string benRun = std::string("HKU\\") + kBen + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string cs = "HKLM\\SYSTEM\\CurrentControlSet\\";
  Run("2000 reg add \"" + annRun + "\" /v Sync /d \"C:\\a.exe\" /f\n"
      "2000 reg add \"" + benRun + "\" /v Sync /d \"C:\\b.exe\" /f\n"
      "2000 reg add \"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\" /v Shell /d \"x.exe\" /f\n"
      "2000 reg add \"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\n.exe\" /v Debugger /d \"d.exe\" /f\n"
      "2000 reg add \"HKLM\\Software\\Classes\\CLSID\\{C1}\\InprocServer32\" /ve /d \"C:\\l2.dll\" /f\n"
      "wait 300\n"
      "2000 reg add \"" + cs + "Services\\Foo\" /v Start /t REG_DWORD /d 4 /f\n"
      "2000 reg add \"" + cs + "Services\\Drv\" /v ImagePath /d \"drv2.sys\" /f\n"
      "2000 reg add \"" + cs + "Control\\Lsa\" /v \"Notification Packages\" /t REG_MULTI_SZ /d \"b\\0c\" /f\n"
      "2000 reg add \"" + cs + "Services\\PmNet\\NetworkProvider\" /v ProviderPath /d \"pm.dll\" /f\n"
      "2000 reg add \"" + cs + "Control\\NetworkProvider\\Order\" /v ProviderOrder /d \"PmNet,RDPNP\" /f\n"
      "2000 reg delete \"" + annRun + "\" /f\n"
      "2000 reg delete \"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\n.exe\" /f\n");
  const std::string ben(kBen), ann(kAnn);
  EXPECT_EQ(LiveEvents(),
            (Rows{{"13", "1", "3", "Sync", ann, "C:\\a.exe", "", "1"},
                  {"13", "1", "3", "Sync", ben, "C:\\b.exe", "", "1"},
                  {"13", "1", "37", "Shell", "", "x.exe", "", "1"},
                  {"13", "1", "47", "n.exe", "", "d.exe", "", "1"},
                  {"1", "2", "10", "Loader", "", "C:\\l2.dll", "C:\\l1.dll", "1"},
                  {"2", "4", "12", "Foo", "ControlSet001", "C:\\foo.exe", "", "1"},
                  {"1", "2", "12", "Drv", "ControlSet001", "drv2.sys", "drv.sys", "1"},
                  {"13", "1", "32", "c", "ControlSet001", "c", "", "1"},
                  {"2", "4", "32", "a", "ControlSet001", "a", "", "1"},
                  {"13", "1", "58", "PmNet", "ControlSet001", "pm.dll", "", "1"},
                  {"2", "4", "3", "Sync", ann, "C:\\a.exe", "", "1"},
                  {"2", "4", "47", "n.exe", "", "d.exe", "", "1"}}));
  // One clock: SQLite's own dates (the rescans) and the driver's (the live events)
  // run in key order, and the periodic rescan came five minutes after the start.
  const Rows times = Sql("SELECT EVENT_TIME FROM ChangeEvents ORDER BY KEY");
  for (size_t i = 1; i < times.size(); ++i) EXPECT_LE(times[i - 1][0], times[i][0]) << i;
  // Whole seconds: a day fraction times 1440 can land a hair under 5.
  const Rows rescans = Sql("SELECT STRFTIME('%s', MAX(EVENT_TIME)) - STRFTIME('%s', MIN(EVENT_TIME)) "
                           "FROM ChangeEvents WHERE EVENT_TYPE = 9");
  EXPECT_GE(std::stoll(rescans.at(0).at(0)), 300);

  const Rows before = Sql("SELECT * FROM LoadPoints ORDER BY KEY");
  const Rows indirection = Sql("SELECT * FROM Indirection ORDER BY KEY");
  const Rows last = Sql("SELECT MAX(KEY) FROM ChangeEvents");
  Run("");
  EXPECT_EQ(Sql("SELECT * FROM LoadPoints ORDER BY KEY"), before);
  EXPECT_EQ(Sql("SELECT * FROM Indirection ORDER BY KEY"), indirection);
  EXPECT_EQ(Sql("SELECT EVENT_TYPE FROM ChangeEvents WHERE KEY > " + last[0][0]), (Rows{{"9"}}));
}

}  // namespace

namespace {

// A process that starts, changes a load point and ends at once is still known by its
// image: the service has to meet it while it runs.
TEST_F(LiveChanges, AShortLivedProcessIsRecordedWithItsImage) {
  fs::create_directories(image_ / "drives/C/Tools");
  std::ofstream(image_ / "drives/C/Tools/Quick.exe", std::ios::binary) << "MZ quick";
  Run("2000 process start \"C:\\Tools\\Quick.exe\" pid=2400\n"
      "2400 reg add \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" /v Quick /t REG_SZ "
      "/d \"C:\\Tools\\Quick.exe\" /f\n"
      "2400 process exit 2400\n");
  const Rows rows = Sql("SELECT p.PROCESS_PATH, p.PROCESS_FILE_NAME FROM ChangeEvents c JOIN Processes p "
                        "ON p.KEY = c.PROCESS_ENTRY_KEY WHERE c.EVENT_TYPE = 13");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"c:\\tools\\quick.exe", "quick.exe"}));
}

}  // namespace
