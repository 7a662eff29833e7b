// Browser Helper Objects: a helper added while the service runs is noticed by the
// watcher, and the dispatcher's rescan records it, once.

#include <chrono>
#include <thread>

#include "engine/bho_watcher.h"
#include "families/browser/browser_helper_objects.h"
#include "support/scan_test_machine.h"

using Engine::LoadPointEngine;
using Engine::kWatcherChangeSeen;

namespace Families {

TEST(BhoScan, HelperNoticedByTheWatcherIsRecordedOnce) {
  const std::string native = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
  const std::string wow = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
  // The watchers watch keys that exist when the engine starts.
  ScanMachine machine(TwoUserConfig(),
                      native + "{11111111-0000-0000-0000-000000000001}]\r\n@=\"Old helper\"\r\n" +
                          wow + "{22222222-0000-0000-0000-000000000001}]\r\n@=\"Wow helper\"\r\n");
  LoadPointEngine& engine = machine.Engine();
  ScanBrowserHelperObjects(engine, 0, 0);  // what the start-up rescan found
  // The watcher threads arm their notifications on their own time; a change made
  // before that would not be noticed (the start-up rescan covers that window).
  for (int i = 0; i < 1000 && machine.Machine().RegistryState().PendingNotifications() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(machine.Machine().RegistryState().PendingNotifications(), 2u);
  machine.Import(wow + "{22222222-0000-0000-0000-000000000002}]\r\n@=\"New wow helper\"\r\n");
  Platform::Registry& registry = machine.System().Registry();
  Platform::ScopedKey added;
  ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine,
                               std::u16string(kBrowserHelperObjectsKey) + u"\\{11111111-0000-0000-0000-000000000002}",
                               0, Platform::kKeyAllAccess, added.Receive(registry), nullptr),
            Platform::kErrorSuccess);
  for (int i = 0; i < 500 && (engine.WatcherFlags(0) & kWatcherChangeSeen) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(engine.WatcherFlags(0) & kWatcherChangeSeen, 0u);

  engine.Dispatch();
  engine.Dispatch();

  EXPECT_EQ(machine.Sql("SELECT l.LP_TYPE, l.ENTRY_NAME, l.COMMAND_LINE, c.EVENT_TYPE, c.PROCESS_ENTRY_KEY, "
                        "l.CHANGE_EVENT_KEY = c.KEY FROM LoadPoints l LEFT JOIN ChangeEvents c "
                        "ON c.LOAD_POINT_KEY = l.KEY ORDER BY l.LP_TYPE, l.ENTRY_NAME"),
            (SqlRows{{"15", "{11111111-0000-0000-0000-000000000001}", "Old helper", "<null>", "<null>", "<null>"},
                     {"15", "{11111111-0000-0000-0000-000000000002}", "", "1", "0", "1"},  // no default value
                     {"24", "{22222222-0000-0000-0000-000000000001}", "Wow helper", "<null>", "<null>", "<null>"},
                     {"24", "{22222222-0000-0000-0000-000000000002}", "New wow helper", "1", "0", "1"}}));
}

}  // namespace Families
