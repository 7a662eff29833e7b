// List values and network providers: items and providers appear and go as their
// lists change, each control set on its own.

#include "support/live_machine.h"

namespace LiveTest {
namespace {

constexpr char16_t kWinlogon[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr char16_t kWindows[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char16_t kLsa1[] = u"HKLM\\SYSTEM\\ControlSet001\\Control\\Lsa";
constexpr char16_t kLsa2[] = u"HKLM\\SYSTEM\\ControlSet002\\Control\\Lsa";

TEST(LiveLists, ItemsAreAddedInOrderAndRemovedByKeyNeverChanged) {
  LiveMachine live;
  live.SetSz(kWinlogon, u"Userinit", u"C:\\Windows\\system32\\userinit.exe,");
  const int64_t start = live.LastEventKey();
  live.SetSz(kWinlogon, u"Userinit", u"C:\\Windows\\system32\\userinit.exe,C:\\x.exe");
  live.SetSz(kWinlogon, u"Userinit", u"C:\\x.exe , C:\\Windows\\system32\\userinit.exe");
  // Spaces separate the items of AppInit_DLLs only.
  live.SetSz(kWindows, u"AppInit_DLLs", u"a.dll b.dll,c.dll");
  live.SetSz(kWinlogon, u"Userinit", u"a.exe b.exe");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"13", "1", "7", "C:\\x.exe", "", "C:\\x.exe", "", "1"},
                     {"13", "1", "8", "a.dll", "", "a.dll", "", "1"},
                     {"13", "1", "8", "b.dll", "", "b.dll", "", "1"},
                     {"13", "1", "8", "c.dll", "", "c.dll", "", "1"},
                     {"13", "1", "7", "a.exe b.exe", "", "a.exe b.exe", "", "1"},
                     {"2", "4", "7", "C:\\Windows\\system32\\userinit.exe", "",
                      "C:\\Windows\\system32\\userinit.exe", "", "1"},
                     {"2", "4", "7", "C:\\x.exe", "", "C:\\x.exe", "", "1"}}));
}

TEST(LiveLists, MultiStringPackagesOfOneControlSetGoWithTheirValue) {
  LiveMachine live;
  live.Set(kLsa1, u"Notification Packages", Platform::kRegMultiSz, MultiSz({u"scecli", u"rassfm"}));
  live.Set(kLsa2, u"Notification Packages", Platform::kRegMultiSz, MultiSz({u"scecli"}));
  live.Set(kLsa1, u"Notification Packages", Platform::kRegMultiSz, MultiSz({u"scecli", u"pw,f"}));
  const int64_t start = live.LastEventKey();
  live.DeleteValue(kLsa1, u"Notification Packages");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"2", "4", "32", "scecli", "ControlSet001", "scecli", "", "1"},
                     {"2", "4", "32", "pw,f", "ControlSet001", "pw,f", "", "1"}}));
  EXPECT_EQ(live.LoadPoints(), (SqlRows{{"32", "ControlSet002", "scecli", "scecli", ""}}));
}

constexpr char16_t kOrder1[] = u"HKLM\\SYSTEM\\ControlSet001\\Control\\NetworkProvider\\Order";
constexpr char kProviders[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\NetworkProvider\\Order]\r\n"
    "\"ProviderOrder\"=\"RDPNP,LanmanWorkstation\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control\\NetworkProvider\\Order]\r\n"
    "\"ProviderOrder\"=\"RDPNP\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\RDPNP\\NetworkProvider]\r\n"
    "\"ProviderPath\"=\"rdpnp.dll\"\r\n\"Name\"=\"Remote Desktop\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Services\\RDPNP\\NetworkProvider]\r\n"
    "\"ProviderPath\"=\"rdpnp.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\LanmanWorkstation\\NetworkProvider]\r\n"
    "\"ProviderPath\"=\"ntlanman.dll\"\r\n\"Name\"=\"Windows Network\"\r\n";

TEST(LiveNetworkProviders, OrderPathAndNameOfEachControlSet) {
  LiveMachine live(kProviders);
  const std::u16string pm = u"HKLM\\SYSTEM\\ControlSet001\\Services\\PmNet\\NetworkProvider";
  const int64_t start = live.LastEventKey();
  live.SetSz(pm, u"ProviderPath", u"pmnet.dll");  // not in the order: nothing
  live.SetSz(pm, u"Name", u"PixelMoor Net");
  live.SetSz(kOrder1, u"ProviderOrder", u"LanmanWorkstation, PmNet");
  live.SetSz(pm, u"Name", u"PixelMoor Network");
  live.DeleteValue(pm, u"ProviderPath");
  live.SetSz(pm, u"ProviderPath", u"C:\\pmnet2.dll");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"13", "1", "58", "PixelMoor Net", "ControlSet001", "pmnet.dll", "", "1"},
                     {"2", "4", "58", "Remote Desktop", "ControlSet001", "rdpnp.dll", "", "1"},
                     {"1", "3", "58", "PixelMoor Network", "ControlSet001", "PixelMoor Network",
                      "PixelMoor Net", "1"},
                     {"1", "2", "58", "PixelMoor Network", "ControlSet001", "", "pmnet.dll", "1"},
                     {"1", "2", "58", "PixelMoor Network", "ControlSet001", "C:\\pmnet2.dll", "", "1"}}));
  EXPECT_EQ(live.Sql("SELECT USER_ID, ENTRY_NAME FROM LoadPoints ORDER BY KEY"),
            (SqlRows{{"ControlSet001", "LanmanWorkstation"}, {"ControlSet002", "RDPNP"},
                     {"ControlSet001", "PmNet"}}));
}

}  // namespace
}  // namespace LiveTest
