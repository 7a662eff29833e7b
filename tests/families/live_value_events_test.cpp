// Single values, COM-class values and their class watches, and key deletions, each
// fed as driver entries through the matcher and the dispatcher.

#include "families/common/load_point_handlers.h"
#include "intake/brumevale_event.h"
#include "support/live_machine.h"

using Families::HandleKeyDeletion;
using Intake::BrumevaleRegistryEvent;
using Intake::DriverRecord;
using Intake::RegistryEntry;
using Intake::kOpRegistryKeyDeleted;
using Ledger::ChangeRecords;

namespace LiveTest {
namespace {

constexpr char16_t kRun[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kHooks[] =
    u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks";
constexpr char16_t kClassId[] = u"{C0FFEE00-0000-0000-0000-000000000001}";
constexpr char16_t kClassKey[] =
    u"HKLM\\SOFTWARE\\Classes\\CLSID\\{C0FFEE00-0000-0000-0000-000000000001}";
constexpr char16_t kServerKey[] =
    u"HKLM\\SOFTWARE\\Classes\\CLSID\\{C0FFEE00-0000-0000-0000-000000000001}\\InprocServer32";

std::u16string UserRun(const char16_t* sid) {
  return u"HKU\\" + std::u16string(sid) + u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
}

TEST(LiveValues, RunValueAddedChangedAndDeletedByItsProcess) {
  LiveMachine live;
  const int64_t start = live.LastEventKey();
  live.SetSz(kRun, u"Updater", u"C:\\u.exe");
  live.SetSz(kRun, u"Updater", u"c:\\U.EXE");  // letter case alone is no change
  live.SetSz(kRun, u"Updater", u"C:\\v.exe");
  EXPECT_EQ(live.LoadPoints(), (SqlRows{{"1", "", "Updater", "C:\\v.exe", ""}}));
  live.DeleteValue(kRun, u"Updater");
  EXPECT_TRUE(live.LoadPoints().empty());
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"13", "1", "1", "Updater", "", "C:\\u.exe", "", "1"},
                     {"1", "2", "1", "Updater", "", "C:\\v.exe", "C:\\u.exe", "1"},
                     {"2", "4", "1", "Updater", "", "C:\\v.exe", "", "1"}}));
  // Every event, also the one that changed nothing, recorded its process.
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM Processes"), (SqlRows{{"4"}}));
}

TEST(LiveValues, UserRunKeysKeepTheirUsersApartUpToTheKeyDeletion) {
  LiveMachine live;
  live.SetSz(UserRun(kAliceSid), u"Sync", u"C:\\a.exe");
  live.SetSz(UserRun(kBobSid), u"Sync", u"C:\\b.exe");
  live.SetSz(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"Shell",
             u"explorer.exe");
  live.SetSz(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
             u"Options\\notepad.exe",
             u"Debugger", u"C:\\dbg.exe");
  const std::string alice(kAliceSid, kAliceSid + std::char_traits<char16_t>::length(kAliceSid));
  const std::string bob(kBobSid, kBobSid + std::char_traits<char16_t>::length(kBobSid));
  EXPECT_EQ(live.LoadPoints(), (SqlRows{{"3", alice, "Sync", "C:\\a.exe", ""},
                                        {"3", bob, "Sync", "C:\\b.exe", ""},
                                        {"37", "", "Shell", "explorer.exe", ""},
                                        {"47", "", "notepad.exe", "C:\\dbg.exe", ""}}));
  const int64_t before = live.LastEventKey();
  live.DeleteKey(UserRun(kAliceSid));
  live.DeleteKey(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
                 u"Options\\notepad.exe");
  EXPECT_EQ(live.EventsAfter(before),
            (SqlRows{{"2", "4", "3", "Sync", alice, "C:\\a.exe", "", "1"},
                     {"2", "4", "47", "notepad.exe", "", "C:\\dbg.exe", "", "1"}}));
  EXPECT_EQ(live.LoadPoints(), (SqlRows{{"3", bob, "Sync", "C:\\b.exe", ""},
                                        {"37", "", "Shell", "explorer.exe", ""}}));
}

// A shell execute hook names its class by the value's name; the class watch then
// follows the class's server through every change.
TEST(LiveValues, ClassLoadPointFollowsItsServerThroughTheClassWatch) {
  LiveMachine live;
  live.SetSz(kClassKey, u"", u"Pixel Hook");
  live.SetSz(kServerKey, u"", u"C:\\hook1.dll");
  const int64_t start = live.LastEventKey();
  live.SetSz(kHooks, kClassId, u"");
  EXPECT_EQ(live.Indirections(), (SqlRows{{"1", "Pixel Hook", "C:\\hook1.dll"}}));
  live.SetSz(kServerKey, u"", u"C:\\hook2.dll");
  live.DeleteKey(kServerKey);
  EXPECT_EQ(live.Indirections(), (SqlRows{{"1", "Pixel Hook", ""}}));
  live.SetSz(kServerKey, u"", u"C:\\hook3.dll");
  live.DeleteKey(kClassKey);
  EXPECT_TRUE(live.Indirections().empty());
  EXPECT_EQ(live.Sql("SELECT INDIRECTION_KEY FROM LoadPoints"), (SqlRows{{"0"}}));
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"13", "1", "42", "Pixel Hook", "", "", "", "1"},
                     {"1", "2", "42", "Pixel Hook", "", "C:\\hook2.dll", "C:\\hook1.dll", "1"},
                     {"1", "2", "42", "Pixel Hook", "", "", "C:\\hook2.dll", "1"},
                     {"1", "2", "42", "Pixel Hook", "", "C:\\hook3.dll", "", "1"},
                     {"2", "4", "42", "Pixel Hook", "", "C:\\hook3.dll", "", "1"}}));
}

// The two cases the matcher never produces, reached by calling the routine directly.
TEST(LiveValues, KeyDeletionAboveEveryControlSetOrAboveTheEntryDepth) {
  LiveMachine live;
  live.SetSz(u"HKLM\\SYSTEM\\ControlSet001\\Control\\Lsa", u"Notification Packages", u"a");
  live.SetSz(u"HKLM\\SYSTEM\\ControlSet002\\Control\\Lsa", u"Notification Packages", u"b");
  live.SetSz(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\x",
             u"DLLName", u"x.dll");
  auto deletion = [&](std::u16string_view key, uint32_t code) {
    const std::vector<uint8_t> bytes = EngineTest::Wide(key);
    const DriverRecord record{.dataLength = static_cast<uint32_t>(bytes.size()),
                              .operation = kOpRegistryKeyDeleted, .data = bytes};
    const RegistryEntry entry(live.System(), record);
    ChangeRecords records;
    HandleKeyDeletion(live.Engine(), BrumevaleRegistryEvent(entry, code, 0), records);
    return records.size();
  };
  EXPECT_EQ(deletion(u"\\REGISTRY\\MACHINE\\SYSTEM", 34), 2u);
  EXPECT_EQ(deletion(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft", 23), 0u);
  EXPECT_TRUE(live.Sql("SELECT * FROM LoadPoints WHERE LP_TYPE = 32").empty());
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"1"}}));
}

}  // namespace
}  // namespace LiveTest
