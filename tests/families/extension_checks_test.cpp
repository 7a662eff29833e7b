// File extensions: the rows of the machine and of each classes hive, and which rows
// the periodic check lets go.

#include "families/file_extensions/file_extensions.h"
#include "support/scan_test_machine.h"

using Database::LoadPointDatabase;
using Engine::LoadPointEngine;

namespace Families {

namespace {

std::string Narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(ExtensionChecks, MachineAndClassesHiveRowsAndWhatSurvives) {
  ScanMachine machine;
  const std::string aliceClasses = Narrow(kAliceSid) + "_Classes";
  const std::string bobClasses = Narrow(kBobSid) + "_Classes";
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.exe]\r\n@=\"exefile\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command]\r\n@=\"\\\"%1\\\" %*\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\runas\\command]\r\n@=\"\\\"%1\\\" %*\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\novalue\\command]\r\n"
      "[HKEY_USERS\\" + aliceClasses + "\\exefile\\shell]\r\n@=\"open\"\r\n"
      "[HKEY_USERS\\" + aliceClasses + "\\exefile\\shell\\open\\command]\r\n@=\"C:\\\\evil.exe \\\"%1\\\"\"\r\n");
  LoadPointEngine& engine = machine.Engine();
  machine.RunInScan([](LoadPointEngine&) {});  // fills the classes-hive list and user table
  // Rows stored earlier: bob's, while his hive was loaded, and a machine verb since gone.
  LoadPointDatabase& database = machine.Database();
  database.AddFileExtenstionEntry(3, kBobSid + std::u16string(u"_Classes"), u"exefile", u"C:\\b.exe", u"open");
  database.AddFileExtenstionEntry(3, u"", u"exefile", u"C:\\gone.exe", u"gone");

  CheckFileExtensions(engine);

  EXPECT_EQ(machine.Sql("SELECT TYPE, USER_ID, ENTRY_ID, VERB, ENTRY_VALUE, CHANGE_EVENT_KEY FROM FileExtension "
                        "ORDER BY USER_ID, ENTRY_ID, TYPE, VERB"),
            (SqlRows{{"1", "", ".exe", "", "exefile", "0"},
                     {"3", "", "exefile", "open", "\"%1\" %*", "0"},
                     {"3", "", "exefile", "runas", "\"%1\" %*", "0"},
                     {"2", aliceClasses, "exefile", "", "open", "0"},
                     {"3", aliceClasses, "exefile", "open", "C:\\evil.exe \"%1\"", "0"},
                     {"3", bobClasses, "exefile", "open", "C:\\b.exe", "0"}}));
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM ChangeEvents"), (SqlRows{{"0"}}));
}

}  // namespace Families
