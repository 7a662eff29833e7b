// Policy settings and the command of executables, changed live by a process.

#include "families/settings/system_settings.h"
#include "live_image.h"

using Families::SettingReadAs;
using Families::SettingScope;
using Families::SystemSettingDefinition;
using Families::SystemSettingTable;

namespace LiveTest {
namespace {

class LiveSettings : public LiveImage {
 protected:
  std::string SettingRow(int type, const std::string& user) {
    SqlRows rows = Sql("SELECT s.CURRENT_VALUE, c.EVENT_TYPE FROM SystemSetting s LEFT JOIN "
                       "ChangeEvents c ON c.KEY = s.CHANGE_EVENT_KEY WHERE s.TYPE = " +
                       std::to_string(type) + " AND s.USER_ID = '" + user + "'");
    return rows.size() == 1 ? rows[0][0] + "|" + rows[0][1] : "rows: " + std::to_string(rows.size());
  }
  std::string SettingsTable() {
    std::string text;
    for (const auto& row : Sql("SELECT TYPE, USER_ID, CURRENT_VALUE FROM SystemSetting ORDER BY KEY"))
      text += row[0] + "|" + row[1] + "|" + row[2] + "\n";
    return text;
  }
};

constexpr char kUserPolicies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";

TEST_F(LiveSettings, UserAndMachinePoliciesSetAndCleared) {
  Boot();
  // ann's tool locks the task manager away in her own hive.
  int64_t mark = LastEventKey();
  Play(std::string("3000 reg add \"HKCU\\") + kUserPolicies + "\\System\" /v DisableTaskMgr /t REG_DWORD /d 1 /f\n");
  EXPECT_EQ(EventsSince(mark), "7 process -\n");
  EXPECT_EQ(SettingRow(2, kAnnSid), "1|7");
  EXPECT_EQ(SettingRow(2, kBoSid), "|<null>");

  // The same value again changes nothing.
  mark = LastEventKey();
  Play(std::string("3000 reg add \"HKCU\\") + kUserPolicies + "\\System\" /v DisableTaskMgr /t REG_DWORD /d 1 /f\n");
  EXPECT_EQ(EventsSince(mark), "");

  // bo's hive, written by another process; all drive types off is stored signed.
  mark = LastEventKey();
  Play(std::string("2000 reg add \"HKU\\") + kBoSid + "\\" + kUserPolicies +
       "\\Explorer\" /v NoDriveTypeAutoRun /t REG_DWORD /d 0xffffffff /f\n"
       "3000 reg add \"HKLM\\SOFTWARE\\Microsoft\\Security Center\" /v FirewallOverride /t REG_DWORD /d 1 /f\n");
  EXPECT_EQ(EventsSince(mark), "7 process -\n7 process -\n");
  EXPECT_EQ(SettingRow(9, kBoSid), "-1|7");
  EXPECT_EQ(SettingRow(12, ""), "1|7");
  const std::string stored = SettingsTable();
  ExpectRescanAgrees();
  EXPECT_EQ(SettingsTable(), stored);

  // Clearing a setting is a change too.
  mark = LastEventKey();
  Play(std::string("3000 reg delete \"HKCU\\") + kUserPolicies + "\\System\" /v DisableTaskMgr /f\n"
       "3000 reg delete \"HKLM\\SOFTWARE\\Microsoft\\Security Center\" /v FirewallOverride /f\n");
  EXPECT_EQ(EventsSince(mark), "7 process -\n7 process -\n");
  EXPECT_EQ(SettingRow(2, kAnnSid), "|7");
  EXPECT_EQ(SettingRow(12, ""), "|7");
}

// Every watched setting, set and then cleared in its own place (ann's hive for the
// per-user ones): each lands in the row of its own TYPE, with its own event.
TEST_F(LiveSettings, EveryWatchedSettingSetAndCleared) {
  Boot();
  std::string set, clear, expected;
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.matcherCode == 0) continue;
    const std::string key = std::string(setting.scope == SettingScope::kUser ? "HKCU\\" : "HKLM\\") +
                            Platform::Utf16ToUtf8(setting.keyPath);
    const std::string name = Platform::Utf16ToUtf8(setting.valueName);
    const bool text = setting.readAs == SettingReadAs::kString;
    set += "3000 reg add \"" + key + "\" /v \"" + name + "\"" +
           (text ? " /d \"D:\\Start " : " /t REG_DWORD /d \"") + std::to_string(setting.type) + "\" /f\n";
    clear += "3000 reg delete \"" + key + "\" /v \"" + name + "\" /f\n";
    expected += std::to_string(setting.type) + "|" + (text ? "D:\\Start " : "") + std::to_string(setting.type) + "\n";
  }
  const std::string values =
      "SELECT s.TYPE || '|' || s.CURRENT_VALUE FROM SystemSetting s JOIN ChangeEvents c ON "
      "c.KEY = s.CHANGE_EVENT_KEY AND c.EVENT_TYPE = 7 WHERE s.USER_ID IN ('', '" + std::string(kAnnSid) +
      "') ORDER BY s.TYPE";
  auto joined = [&] {
    std::string text;
    for (const auto& row : Sql(values)) text += row[0] + "\n";
    return text;
  };
  Play(set);
  EXPECT_EQ(joined(), expected);
  const int64_t mark = LastEventKey();
  Play(clear);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 7 AND KEY > " + std::to_string(mark)),
            (SqlRows{{"18"}}));
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM SystemSetting WHERE CURRENT_VALUE != ''"), (SqlRows{{"0"}}));
}

class LiveExeCommand : public LiveImage {
 protected:
  std::string ExtensionRows() {
    std::string text;
    for (const auto& row : Sql("SELECT f.TYPE, f.USER_ID, f.ENTRY_ID, f.VERB, f.ENTRY_VALUE, "
                               "IFNULL(c.EVENT_TYPE, '-') FROM FileExtension f LEFT JOIN ChangeEvents c "
                               "ON c.KEY = f.CHANGE_EVENT_KEY ORDER BY f.TYPE, f.USER_ID")) {
      for (const std::string& field : row) text += field + "|";
      text += "\n";
    }
    return text;
  }
};

constexpr char kMachineExeClasses[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.exe]\r\n@=\"exefile\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command]\r\n"
    "@=\"\\\"%1\\\" %*\"\r\n\r\n";

TEST_F(LiveExeCommand, MachineCommandHijackedAndRestored) {
  Boot(kMachineExeClasses);
  const std::string before = ExtensionRows();
  EXPECT_EQ(before, "1||.exe||exefile|-|\n3||exefile|open|\"%1\" %*|-|\n");

  int64_t mark = LastEventKey();
  Play("3000 reg add \"HKCR\\exefile\\shell\\open\\command\" /ve /d \"C:\\Tools\\run.exe \\\"%1\\\" %*\" /f\n"
       "3000 reg add \"HKCR\\exefile\\shell\\open\\command\" /ve /d \"C:\\Tools\\run.exe \\\"%1\\\" %*\" /f\n");
  // Every write of the value is recorded, also one that changes nothing, each with
  // the value written and the one it replaced.
  EXPECT_EQ(EventsSince(mark),
            "8 process 2|0|exefile\\shell\\open\\command||C:\\Tools\\run.exe \"%1\" %*|\"%1\" %*\n"
            "8 process 2|0|exefile\\shell\\open\\command||C:\\Tools\\run.exe \"%1\" %*|C:\\Tools\\run.exe \"%1\" %*\n");
  EXPECT_EQ(ExtensionRows(), "1||.exe||exefile|-|\n3||exefile|open|C:\\Tools\\run.exe \"%1\" %*|8|\n");
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("2000 reg add \"HKLM\\SOFTWARE\\Classes\\exefile\\shell\\open\\command\" /ve /d \"\\\"%1\\\" %*\" /f\n");
  EXPECT_EQ(EventsSince(mark), "8 process 2|0|exefile\\shell\\open\\command||\"%1\" %*|C:\\Tools\\run.exe \"%1\" %*\n");
  EXPECT_EQ(ExtensionRows(), "1||.exe||exefile|-|\n3||exefile|open|\"%1\" %*|8|\n");
}

TEST_F(LiveExeCommand, UserClassesDefaultVerbSetAndDeleted) {
  Boot(kMachineExeClasses);
  const std::string classes = std::string(kAnnSid) + "_Classes";
  int64_t mark = LastEventKey();
  Play("3000 reg add \"HKU\\" + classes + "\\exefile\\shell\" /ve /d runas /f\n");
  EXPECT_EQ(EventsSince(mark), "8 process 1|0|exefile\\shell|" + classes + "|runas|\n");
  EXPECT_NE(ExtensionRows().find("2|" + classes + "|exefile||runas|8|"), std::string::npos)
      << ExtensionRows();
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 reg delete \"HKU\\" + classes + "\\exefile\\shell\" /ve /f\n");
  EXPECT_EQ(EventsSince(mark), "14 process 4|0|exefile\\shell|" + classes + "|runas|\n");
  EXPECT_EQ(ExtensionRows().find("runas"), std::string::npos) << ExtensionRows();
}

}  // namespace
}  // namespace LiveTest
