// Services and drivers changed value by value, as installers change them.

#include "support/live_machine.h"

namespace LiveTest {
namespace {

constexpr char16_t kFoo[] = u"HKLM\\SYSTEM\\ControlSet001\\Services\\Foo";
constexpr char16_t kHosted[] = u"HKLM\\SYSTEM\\ControlSet001\\Services\\Hosted";

// Foo runs on its own; Hosted runs in the netsvcs group of the service host; Drv is
// a boot driver.
constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Foo]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n"
    "\"ImagePath\"=\"C:\\\\foo.exe\"\r\n\"DisplayName\"=\"Foo Service\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Foo\\Parameters]\r\n"
    "\"Level\"=dword:00000001\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Hosted]\r\n"
    "\"Type\"=dword:00000020\r\n\"Start\"=dword:00000002\r\n"
    "\"ImagePath\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,"
    "00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,73,00,76,00,63,00,68,00,6f,"
    "00,73,00,74,00,2e,00,65,00,78,00,65,00,20,00,2d,00,6b,00,20,00,6e,00,65,00,74,00,73,00,76,"
    "00,63,00,73,00,00,00\r\n"
    "\"DisplayName\"=\"Hosted One\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Hosted\\Parameters]\r\n"
    "\"ServiceDll\"=\"C:\\\\old.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Drv]\r\n"
    "\"Type\"=dword:00000001\r\n\"Start\"=dword:00000000\r\n\"ImagePath\"=\"drv.sys\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost]\r\n"
    "\"netsvcs\"=hex(7):48,00,6f,00,73,00,74,00,65,00,64,00,00,00,00,00\r\n";

TEST(LiveServices, StartImagePathServiceDllAndDisplayName) {
  LiveMachine live(kBoot);
  ASSERT_EQ(live.LoadPoints(),
            (SqlRows{{"29", "ControlSet001", "Drv", "drv.sys", ""},
                     {"12", "ControlSet001", "Foo", "C:\\foo.exe", "Foo Service"},
                     {"12", "ControlSet001", "Hosted", "C:\\old.dll", "Hosted One"}}));
  const int64_t start = live.LastEventKey();
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(4));
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  live.Set(kFoo, u"Start", Platform::kRegDword, Dword(2));
  live.SetSz(kFoo, u"ImagePath", u"C:\\bar.exe");
  live.SetSz(kFoo, u"DisplayName", u"Bar Service");
  live.SetSz(std::u16string(kHosted) + u"\\Parameters", u"ServiceDll", u"C:\\new.dll");
  // The same host command line again: the stored DLL is what it is compared with.
  live.Set(kHosted, u"ImagePath", Platform::kRegExpandSz,
           Sz(u"%SystemRoot%\\System32\\svchost.exe -k netsvcs"));
  live.SetSz(u"HKLM\\SYSTEM\\ControlSet001\\Services\\Drv", u"ImagePath", u"drv2.sys");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"2", "4", "12", "Foo Service", "ControlSet001", "C:\\foo.exe", "", "1"},
                     {"13", "1", "12", "Foo Service", "ControlSet001", "C:\\foo.exe", "", "1"},
                     {"1", "2", "12", "Foo Service", "ControlSet001", "C:\\bar.exe", "C:\\foo.exe", "1"},
                     {"1", "3", "12", "Bar Service", "ControlSet001", "Bar Service", "Foo Service", "1"},
                     {"1", "2", "12", "Hosted One", "ControlSet001", "C:\\new.dll", "C:\\old.dll", "1"},
                     {"1", "2", "12", "Drv", "ControlSet001", "drv2.sys", "drv.sys", "1"}}));
}

// "Start" counts as the number its data reads as, whatever the value's type: a
// string "04" disables the service like the number 4, "2 " keeps it, "40" is no
// start type that removes it.
TEST(LiveServices, StartWrittenAsTextCountsAsItsNumber) {
  LiveMachine live(kBoot);
  const int64_t start = live.LastEventKey();
  live.SetSz(kFoo, u"Start", u"2 ");
  live.SetSz(kFoo, u"Start", u"40");
  EXPECT_EQ(live.EventsAfter(start), SqlRows{});
  live.SetSz(kFoo, u"Start", u"04");
  live.SetSz(u"HKLM\\SYSTEM\\ControlSet001\\Services\\Drv", u"Start", u" 3");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"2", "4", "12", "Foo Service", "ControlSet001", "C:\\foo.exe", "", "1"},
                     {"2", "4", "12", "Drv", "ControlSet001", "drv.sys", "", "1"}}));
}

TEST(LiveServices, DeletingTheServiceKeyRemovesItOnceAndItsParametersNothing) {
  LiveMachine live(kBoot);
  const int64_t start = live.LastEventKey();
  live.DeleteKey(std::u16string(kFoo) + u"\\Parameters");
  live.DeleteKey(kFoo);
  live.DeleteValue(std::u16string(kHosted) + u"\\Parameters", u"ServiceDll");
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"2", "4", "12", "Foo", "ControlSet001", "C:\\foo.exe", "", "1"},
                     {"2", "4", "12", "Hosted One", "ControlSet001", "C:\\old.dll", "", "1"}}));
  // A hosted service without its library does not come back by its other values.
  live.Set(kHosted, u"Start", Platform::kRegDword, Dword(2));
  EXPECT_EQ(live.LoadPoints(), (SqlRows{{"29", "ControlSet001", "Drv", "drv.sys", ""}}));
}

}  // namespace
}  // namespace LiveTest
