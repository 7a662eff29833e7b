// Browser Helper Objects: the scan run on a watcher's signal records what it added.

#include "scan_test_machine.h"
#include "scans/browser_helper_objects.h"

TEST(BhoScan, RecordNewMarksOnlyTheHelpersItAdded) {
  ScanMachine machine;
  const std::string native = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
  const std::string wow = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
  machine.Import(native + "{11111111-0000-0000-0000-000000000001}]\r\n@=\"Old helper\"\r\n");
  LoadPointEngine& engine = machine.Engine();
  ScanBrowserHelperObjects(engine, 0, 0);
  machine.Import(native + "{11111111-0000-0000-0000-000000000002}]\r\n" +  // no default value
                 wow + "{22222222-0000-0000-0000-000000000001}]\r\n@=\"Wow helper\"\r\n");

  ScanBrowserHelperObjects(engine, 0, 1);
  ScanBrowserHelperObjects(engine, 0, 1);  // nothing new the second time

  EXPECT_EQ(machine.Sql("SELECT l.LP_TYPE, l.ENTRY_NAME, l.COMMAND_LINE, c.EVENT_TYPE, c.PROCESS_ENTRY_KEY, "
                        "l.CHANGE_EVENT_KEY = c.KEY FROM LoadPoints l LEFT JOIN ChangeEvents c "
                        "ON c.LOAD_POINT_KEY = l.KEY ORDER BY l.KEY"),
            (SqlRows{{"15", "{11111111-0000-0000-0000-000000000001}", "Old helper", "<null>", "<null>", "<null>"},
                     {"15", "{11111111-0000-0000-0000-000000000002}", "", "1", "0", "1"},
                     {"24", "{22222222-0000-0000-0000-000000000001}", "Wow helper", "1", "0", "1"}}));
}
