// System settings: the rows the periodic check keeps per loaded user and for the
// machine, how values become text, and what counts as a change.

#include "families/settings/system_settings.h"
#include "support/scan_test_machine.h"

using Engine::LoadPointEngine;

namespace Families {

namespace {

std::string Narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(SettingChecks, RowsPerLoadedUserAndValueTexts) {
  ScanMachine machine;
  const std::string user = "[HKEY_USERS\\" + Narrow(kAliceSid) + "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
  machine.Import(user + "Policies\\Explorer]\r\n\"NoDriveTypeAutoRun\"=dword:ffffffff\r\n" +
                 user + "Policies\\System]\r\n\"DisableTaskMgr\"=\"1\"\r\n" +  // a string is no 32-bit value
                 user + "Explorer\\Shell Folders]\r\n\"Startup\"=\"C:\\\\Users\\\\alice\\\\Startup\"\r\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Security Center]\r\n\"FirewallOverride\"=dword:00000001\r\n");
  machine.RunInScan([](LoadPointEngine&) {});  // fills the engine's list of user hives
  LoadPointEngine& engine = machine.Engine();
  CheckSystemSettings(engine);

  // Machine rows, then 11 for each hive under HKEY_USERS; logged-off bob has none.
  EXPECT_EQ(machine.Sql("SELECT USER_ID, COUNT(*) FROM SystemSetting GROUP BY USER_ID ORDER BY USER_ID"),
            (SqlRows{{"", "7"}, {".DEFAULT", "11"}, {"S-1-5-18", "11"}, {"S-1-5-19", "11"},
                     {"S-1-5-20", "11"}, {Narrow(kAliceSid), "11"}}));
  const std::string alice = "USER_ID = '" + Narrow(kAliceSid) + "'";
  EXPECT_EQ(machine.Sql("SELECT TYPE, USER_ID = '', PATH, CURRENT_VALUE, CHANGE_EVENT_KEY FROM SystemSetting "
                        "WHERE CURRENT_VALUE <> '' OR (TYPE = 2 AND " + alice + ") ORDER BY TYPE"),
            (SqlRows{{"2", "0", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "", "0"},
                     {"9", "0", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", "-1", "0"},
                     {"12", "1", "SOFTWARE\\Microsoft\\Security Center", "1", "0"},
                     {"20", "0", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      "C:\\Users\\alice\\Startup", "0"}}));

  const std::u16string shellFolders = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  EXPECT_EQ(ReconcileSystemSetting(engine, 20, shellFolders, u"c:\\users\\ALICE\\startup", kAliceSid), 0);
  EXPECT_GT(ReconcileSystemSetting(engine, 20, shellFolders, u"D:\\Startup", kAliceSid), 0);
  // Every check leaves its own marker and no event for a setting it found changed.
  CheckSystemSettings(engine);
  EXPECT_EQ(machine.Sql("SELECT EVENT_TYPE, LOAD_POINT_KEY, PROCESS_ENTRY_KEY FROM ChangeEvents"),
            (SqlRows{{"9", "0", "0"}, {"9", "0", "0"}}));
  EXPECT_EQ(machine.Sql("SELECT CURRENT_VALUE FROM SystemSetting WHERE TYPE = 20 AND " + alice),
            (SqlRows{{"C:\\Users\\alice\\Startup"}}));
}

}  // namespace Families
