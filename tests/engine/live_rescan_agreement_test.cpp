// Whatever the live path wrote, a rescan of the same machine must find it as it is:
// random adds, changes and deletes on every location family handled live, then a
// full rescan that may change nothing. This file drives the values, lists, services,
// network providers and Winsock catalogs; the class families and the files in watched
// folders have files of their own beside it, and so have the settings that the checks
// after each rescan read.
//
// Left out on purpose, because the live path then leaves the correction to the
// rescan: deleting one subkey of a location whose subkeys are not told apart on
// deletion (debuggers, notification packages, overlays, print monitors), deleting a
// key above a location reached through a wildcard, a service changing between
// service and driver, a provider's own key, a class's whole key, a class without a
// name, the server of an overlay's class (its watch names the entry by the watched
// key) and value names that differ from the stored one only in letter case.

#include "engine/live_agreement.h"

namespace LiveTest {
namespace {

// Both control sets exist at start: the engine learns them once, as the service does.
constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Services]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost]\r\n"
    "\"netsvcs\"=hex(7):48,00,6f,00,73,00,74,00,00,00,00,00\r\n";

constexpr const char16_t* kControlSets[] = {u"HKLM\\SYSTEM\\ControlSet001", u"HKLM\\SYSTEM\\ControlSet002"};
const std::u16string kWinlogon = u"\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::u16string kWindows = u"\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

class Scenario : public RandomChanges {
 public:
  using RandomChanges::RandomChanges;

  void Step() {
    using Action = void (Scenario::*)();
    static constexpr Action kActions[] = {&Scenario::Values,   &Scenario::NamedValues,
                                          &Scenario::Lists,    &Scenario::Services,
                                          &Scenario::Providers, &Scenario::Catalogs};
    (this->*kActions[Pick(std::size(kActions))])();
  }

 private:
  // The machine's native and 32-bit views, or a user's hive.
  std::u16string Software(bool users) {
    const std::u16string roots[] = {u"HKLM\\SOFTWARE", u"HKLM\\SOFTWARE\\Wow6432Node",
                                    u"HKU\\" + std::u16string(kAliceSid) + u"\\SOFTWARE",
                                    u"HKU\\" + std::u16string(kBobSid) + u"\\SOFTWARE"};
    return roots[Pick(users ? 4 : 2)];
  }

  // Keys where every value is one load point.
  void Values() {
    static constexpr const char16_t* kKeys[] = {
        u"\\Microsoft\\Windows\\CurrentVersion\\Run", u"\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        u"\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"};
    static constexpr const char16_t* kNames[] = {u"Agent", u"Tray", u"Updater"};
    SetOrRemove(70, Software(true) + Of(kKeys), Of(kNames), Command(), true);
  }

  // One named value, in a fixed key or in a key per entry.
  void NamedValues() {
    static constexpr const char16_t* kPrograms[] = {u"notepad.exe", u"calc.exe"};
    static constexpr const char16_t* kPackages[] = {u"Pm", u"Other"};
    const std::u16string user = u"HKU\\" + std::u16string(Of({kAliceSid, kBobSid}));
    switch (Pick(7)) {
      case 0: SetOrRemove(70, Software(false) + kWinlogon, Of({u"Shell", u"UIHost"}), Command()); break;
      case 1: SetOrRemove(70, user + u"\\SOFTWARE" + kWinlogon, u"Shell", Command()); break;
      case 2: SetOrRemove(70, user + u"\\SOFTWARE" + kWindows, Of({u"load", u"run"}), Command()); break;
      case 3: SetOrRemove(70, user + u"\\Control Panel\\Desktop", u"SCRNSAVE.EXE", Command()); break;
      case 4:
        SetOrRemove(70, Software(false) + u"\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\" +
                            Of(kPrograms), u"Debugger", Command());
        break;
      case 5: SetOrRemove(70, Software(false) + kWinlogon + u"\\Notify\\" + Of(kPackages), u"DLLName", Command()); break;
      default:
        SetOrRemove(70, std::u16string(Of(kControlSets)) + u"\\Control\\Print\\Monitors\\" + Of(kPackages),
                    u"Driver", Command());
    }
  }

  void Lists() {
    static constexpr const char16_t* kItems[] = {u"a.dll", u"b.dll c.dll", u" d.dll ,", u"e.dll,a.dll"};
    const std::u16string set = Of(kControlSets);
    const std::u16string lsa = set + u"\\Control\\Lsa";
    switch (Pick(6)) {
      case 0:
        if (Chance(70)) {
          Set(lsa, Of({u"Notification Packages", u"Authentication Packages"}), Platform::kRegMultiSz,
              MultiSz({Of(kItems), Of(kItems)}), true);
        } else {
          Remove(lsa, Of({u"Notification Packages", u"Authentication Packages"}), true);
        }
        break;
      case 1: SetOrRemove(70, lsa, u"Security Packages", Of(kItems)); break;
      case 2: SetOrRemove(70, set + u"\\Control\\SecurityProviders", u"SecurityProviders", Of(kItems)); break;
      case 3:
        SetOrRemove(70, set + Of({u"\\Control\\Terminal Server\\Wds\\rdpwd", u"\\Control\\Session Manager"}),
                    Of({u"StartupPrograms", u"BootExecute"}), Of(kItems));
        break;
      case 4: SetOrRemove(70, Software(false) + kWinlogon, u"Userinit", Of(kItems)); break;
      default: SetOrRemove(70, Software(false) + kWindows, u"AppInit_DLLs", Of(kItems));
    }
  }

  // Each service keeps its kind: one that turns into a driver is the rescan's.
  void Services() {
    static constexpr const char16_t* kNames[] = {u"Own", u"Host", u"Drv"};
    const std::u16string name = Of(kNames);
    const std::u16string key = std::u16string(Of(kControlSets)) + u"\\Services\\" + name;
    const std::u16string host = u"%SystemRoot%\\System32\\svchost.exe -k netsvcs";
    switch (Pick(6)) {
      case 0: Set(key, u"Start", Platform::kRegDword, Dword(static_cast<uint32_t>(Pick(5)))); break;
      case 1: Set(key, u"Type", Platform::kRegDword, Dword(name == u"Drv" ? 1 : name == u"Host" ? 0x20 : 0x10)); break;
      case 2:
        if (Chance(80)) {
          Set(key, u"ImagePath", Platform::kRegExpandSz, Sz(name == u"Host" && Chance(80) ? host : Command()),
              name != u"Host");
        } else {
          Remove(key, u"ImagePath", name != u"Host");
        }
        break;
      case 3: SetOrRemove(70, key, u"DisplayName", Of(kNames)); break;
      default: SetOrRemove(70, key + u"\\Parameters", u"ServiceDll", Command());
    }
  }

  void Providers() {
    static constexpr const char16_t* kOrders[] = {u"RDPNP,Lanman", u"Lanman", u"Lanman, PmNet,RDPNP", u""};
    static constexpr const char16_t* kNames[] = {u"RDPNP", u"Lanman", u"PmNet"};
    const std::u16string set = Of(kControlSets);
    const std::u16string order = set + u"\\Control\\NetworkProvider\\Order";
    const std::u16string provider = set + u"\\Services\\" + Of(kNames) + u"\\NetworkProvider";
    switch (Pick(3)) {
      case 0: SetOrRemove(80, order, u"ProviderOrder", Of(kOrders), true); break;
      case 1: SetOrRemove(70, provider, u"ProviderPath", Command()); break;
      default: SetOrRemove(70, provider, u"Name", Of(kNames));
    }
  }

  // A protocol entry's item holds the provider's path in the system code page and,
  // further on, the protocol's name.
  static Bytes PackedItem(const std::string& path, std::u16string_view protocol) {
    Bytes item(888, 0);
    std::copy(path.begin(), path.end(), item.begin());
    for (size_t i = 0; i < protocol.size(); ++i) item[376 + 2 * i] = static_cast<uint8_t>(protocol[i]);
    return item;
  }

  // Name-space and protocol entries, native and 64-bit, of either control set.
  void Catalogs() {
    const std::u16string winsock = std::u16string(Of(kControlSets)) + u"\\Services\\WinSock2\\Parameters\\";
    const std::u16string entry = Of({u"\\000000000001", u"\\000000000002"});
    const std::u16string space =
        winsock + u"NameSpace_Catalog5\\" + Of({u"Catalog_Entries", u"Catalog_Entries64"}) + entry;
    const std::u16string protocols =
        winsock + u"Protocol_Catalog9\\" + Of({u"Catalog_Entries", u"Catalog_Entries64"}) + entry;
    switch (Pick(3)) {
      case 0: SetOrRemove(70, space, u"LibraryPath", Command(), true); break;
      case 1:
        if (Chance(70)) {
          Set(protocols, u"PackedCatalogItem", Platform::kRegBinary,
              PackedItem(Of({"C:\\a.dll", "c:\\A.DLL", "C:\\b.dll"}), Of({u"TCP", u"UDP"})), true);
        } else {
          Remove(protocols, u"PackedCatalogItem", true);
        }
        break;
      default: SetOrRemove(70, space, u"DisplayString", Of({u"Tcpip", u"NLA"}));
    }
  }
};

TEST(LiveRescanAgreement, RandomValueListServiceAndCatalogChangesLeaveNothingForTheRescan) {
  ExpectLiveAgreesWithRescan<Scenario>(kBoot);
}

}  // namespace
}  // namespace LiveTest
