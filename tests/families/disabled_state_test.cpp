// A service set to Start 4 or a task switched off loses its row as before, but its
// event says "disabled" (EventOrigin STATE_CHANGE 1), and its return "enabled again"
// (2); Start 3 and a deletion stay plain removals, and a return after one of those is
// a plain addition. Live and by a rescan.

#include "support/live_machine.h"

namespace LiveTest {
namespace {

constexpr char16_t kFoo[] = u"HKLM\\SYSTEM\\ControlSet001\\Services\\Foo";
constexpr char16_t kTaskKey[] =
    u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\"
    u"{5B3E2A10-0C1D-4E6F-8A9B-1C2D3E4F5A6B}";
constexpr char16_t kTaskFile[] = u"C:\\Windows\\System32\\Tasks\\Vendor\\Updater";

constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Foo]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n"
    "\"ImagePath\"=\"C:\\\\foo.exe\"\r\n\"DisplayName\"=\"Foo Service\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\"
    "Tasks\\{5B3E2A10-0C1D-4E6F-8A9B-1C2D3E4F5A6B}]\r\n"
    "\"Path\"=\"\\\\Vendor\\\\Updater\"\r\n";

std::string TaskXml(const char* enabled) {
  return std::string("<?xml version=\"1.0\"?><Task><Settings><Enabled>") + enabled +
         "</Enabled></Settings><Actions><Exec><Command>C:\\up.exe</Command></Exec></Actions></Task>";
}

// EVENT_TYPE, PARAM_0 and STATE_CHANGE (empty without an EventOrigin row) of the
// events after afterKey.
SqlRows Marks(LiveMachine& live, int64_t afterKey) {
  return live.Sql("SELECT c.EVENT_TYPE, IFNULL(e.PARAM_0, ''), IFNULL(o.STATE_CHANGE, '') FROM "
                  "ChangeEvents c LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY LEFT JOIN "
                  "EventOrigin o ON o.CHANGE_EVENT_KEY = c.KEY WHERE c.KEY > " +
                  std::to_string(afterKey) + " AND c.EVENT_TYPE IN (2, 13) ORDER BY c.KEY");
}

// Changes made while the service did not watch: the registry alone, no driver record.
void SetOffline(LiveMachine& live, std::u16string_view subKey, std::u16string_view name,
                uint32_t value) {
  Platform::Registry& registry = live.System().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.OpenKey(Platform::kHkeyLocalMachine, subKey, Platform::kKeyAllAccess,
                             key.Receive(registry)),
            Platform::kErrorSuccess);
  ASSERT_EQ(registry.SetValue(key.Get(), name, Platform::kRegDword, Dword(value)),
            Platform::kErrorSuccess);
}

TEST(DisabledState, ServiceStartFourIsADisableAndItsReturnEnabledAgain) {
  LiveMachine live(kBoot);
  const int64_t start = live.LastEventKey();
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(4));
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  // Demand start is a removal like any other, and so its return is a plain addition.
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(3));
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  // Disabled, then the key deleted and written anew: the last removal was no disable.
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(4));
  live.DeleteKey(kFoo);
  live.SetSz(kFoo, u"ImagePath", u"C:\\foo.exe");
  live.Set(kFoo, u"Type", Platform::kRegDword, Dword(0x10));
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  EXPECT_EQ(Marks(live, start), (SqlRows{{"2", "12", "1"},
                                         {"13", "12", "2"},
                                         {"2", "12", ""},
                                         {"13", "12", ""},
                                         {"2", "12", "1"},
                                         {"13", "12", ""}}));
  // The rows are those of a removal and an addition: one row, as at the start.
  EXPECT_EQ(live.LoadPoints(),
            (SqlRows{{"12", "ControlSet001", "Foo", "C:\\foo.exe", ""}}));
}

TEST(DisabledState, ServiceDisabledWhileNothingWatchedIsMarkedByTheRescan) {
  LiveMachine live(kBoot);
  const int64_t start = live.LastEventKey();
  SetOffline(live, u"SYSTEM\\ControlSet001\\Services\\Foo", u"Start", 4);
  live.Rescan();
  // Back on, live: the rescan's disable counts as the last removal.
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  EXPECT_EQ(Marks(live, start), (SqlRows{{"2", "12", "1"}, {"13", "12", "2"}}));
  // Demand start found by a rescan stays a plain removal.
  const int64_t later = live.LastEventKey();
  SetOffline(live, u"SYSTEM\\ControlSet001\\Services\\Foo", u"Start", 3);
  live.Rescan();
  EXPECT_EQ(Marks(live, later), (SqlRows{{"2", "12", "0"}}));
}

TEST(DisabledState, TaskSwitchedOffAndOnAgain) {
  LiveMachine live(kBoot);
  live.WriteFile(kTaskFile, TaskXml("true"));
  live.Rescan();
  ASSERT_EQ(live.Sql("SELECT ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE LP_TYPE = 64"),
            (SqlRows{{"{5B3E2A10-0C1D-4E6F-8A9B-1C2D3E4F5A6B}", "C:\\up.exe"}}));
  const int64_t start = live.LastEventKey();
  // The scheduler rewrites the file and touches the cache entry's "Path".
  live.WriteFile(kTaskFile, TaskXml("false"));
  live.SetSz(kTaskKey, u"Path", u"\\Vendor\\Updater");
  live.WriteFile(kTaskFile, TaskXml("true"));
  live.SetSz(kTaskKey, u"Path", u"\\Vendor\\Updater");
  // Switched off while nothing watched, the rescan says so.
  live.WriteFile(kTaskFile, TaskXml("FALSE"));
  live.Rescan();
  // A file that cannot be read is no disable.
  live.WriteFile(kTaskFile, TaskXml("true"));
  live.SetSz(kTaskKey, u"Path", u"\\Vendor\\Updater");
  live.WriteFile(kTaskFile, "not a task");
  live.SetSz(kTaskKey, u"Path", u"\\Vendor\\Updater");
  EXPECT_EQ(Marks(live, start), (SqlRows{{"2", "64", "1"},
                                         {"13", "64", "2"},
                                         {"2", "64", "1"},
                                         {"13", "64", "2"},
                                         {"2", "64", ""}}));
}

}  // namespace
}  // namespace LiveTest
