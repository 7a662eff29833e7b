// The locations that name a COM class, and the two families keyed by a subkey with
// more than one value (Active Setup components, browser extensions): random changes
// to the entries and to their classes' servers, then a rescan that may change nothing.
// What the live path leaves to the rescan here is listed in live_rescan_agreement_test.cpp.

#include "engine/live_agreement.h"

namespace LiveTest {
namespace {

// Classes {1} and {3} have servers, {2} only a name; {1} and {3} are registered for
// 32-bit processes too, {3} under the same name, as the live path names the classes
// of most 32-bit locations from the native registration, and reads the others' names
// where Windows shows the 32-bit classes a second time. Only {3}'s servers change:
// overlays name {1} and {2}. The helpers' keys are there for their watchers to open at start.
constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper "
    "Objects]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}]\r\n@=\"One\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32]\r\n@=\"one.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{2}]\r\n@=\"Two\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3}]\r\n@=\"Three\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3}\\InprocServer32]\r\n@=\"three.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}]\r\n@=\"One32\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}\\InprocServer32]\r\n@=\"one32.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{3}]\r\n@=\"Three\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\CLSID\\{3}]\r\n@=\"Three\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{3}\\InprocServer32]\r\n@=\"three32.dll\"\r\n";

constexpr const char16_t* kClasses[] = {u"{1}", u"{2}", u"{3}"};
const std::u16string kExplorer = u"\\Microsoft\\Windows\\CurrentVersion\\Explorer";

class Scenario : public RandomChanges {
 public:
  using RandomChanges::RandomChanges;

  void Step() {
    using Action = void (Scenario::*)();
    static constexpr Action kActions[] = {&Scenario::NamedByValue, &Scenario::NamedByKey,
                                          &Scenario::Servers,      &Scenario::HelperObjects,
                                          &Scenario::Extensions,   &Scenario::ActiveSetup};
    (this->*kActions[Pick(std::size(kActions))])();
  }

 private:
  std::u16string Software() { return Of({u"HKLM\\SOFTWARE", u"HKLM\\SOFTWARE\\Wow6432Node"}); }
  std::u16string User() { return u"HKU\\" + std::u16string(Of({kAliceSid, kBobSid})); }

  // Keys whose value names are classes, and one whose data are.
  void NamedByValue() {
    static constexpr const char16_t* kKeys[] = {u"\\ShellExecuteHooks", u"\\SharedTaskScheduler"};
    switch (Pick(4)) {
      case 0: SetOrRemove(70, Software() + kExplorer + Of(kKeys), Of(kClasses), u"", true); break;
      case 1: SetOrRemove(70, Software() + u"\\Microsoft\\Internet Explorer\\Toolbar", Of(kClasses), u"", true); break;
      case 2:
        SetOrRemove(70, User() + u"\\SOFTWARE\\Microsoft\\Internet Explorer\\URLSearchHooks", Of(kClasses), u"", true);
        break;
      default:
        SetOrRemove(70, Software() + u"\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                    Of({u"Pm", u"Other"}), Of(kClasses), true);
    }
  }

  // A key per entry whose value holds the class.
  void NamedByKey() {
    if (Chance(50)) {
      SetOrRemove(70, Software() + kExplorer + u"\\ShellIconOverlayIdentifiers\\" + Of({u"Pm", u"Other"}), u"",
                  Of({u"{1}", u"{2}"}));
    } else {
      SetOrRemove(70, Software() + u"\\Classes\\PROTOCOLS\\" + Of({u"Filter\\", u"Handler\\"}) + Of({u"pm", u"text/x"}),
                  u"CLSID", Of(kClasses));
    }
  }

  // The server of a class that entries may name (an overlay's class excepted).
  void Servers() {
    const std::u16string server = Chance(25) ? u"HKLM\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{3}\\InprocServer32"
                                             : u"HKLM\\SOFTWARE\\Classes\\CLSID\\{3}\\InprocServer32";
    SetOrRemove(70, server, u"", Command(), true);
  }

  // A helper object's key is its class. A new one is found when the watcher of the
  // helpers' key signals; the watcher sees names only, so a helper's values are set
  // once, with its key, and never changed (a changed value is the rescan's).
  void HelperObjects() {
    const std::u16string key = Software() + kExplorer + u"\\Browser Helper Objects\\" + Of(kClasses);
    Platform::ScopedKey handle;
    if (HasKey(key, handle)) {
      handle.Reset();
      if (Chance(40)) live_.DeleteKey(key);
      return;
    }
    live_.SetSz(key, u"", Command());
    live_.HelperObjectsSignalled();
  }

  // One of four values is the command, two of them naming a class. An extension with
  // two of them is the rescan's to settle (it takes them in a fixed order, the live
  // path the one set last), so each extension here has one. A user's extension that
  // names a class is resolved by the next start's rescan only, so users' run programs.
  void Extensions() {
    static constexpr const char16_t* kIds[] = {u"{E1}", u"{E2}", u"{E3}"};
    static constexpr const char16_t* kValues[] = {u"Exec", u"ClsidExtension", u"BandCLSID"};
    const size_t id = Pick(Chance(30) ? 1 : 3);
    const std::u16string root = id == 0 && Chance(50) ? User() + u"\\SOFTWARE" : Software();
    SetOrRemove(70, root + u"\\Microsoft\\Internet Explorer\\Extensions\\" + kIds[id], kValues[id],
                id == 0 ? Command() : Of(kClasses), true);
  }

  // "StubPath" is the command, the default value the component's name.
  void ActiveSetup() {
    const std::u16string key =
        Software() + u"\\Microsoft\\Active Setup\\Installed Components\\" + Of({u"{A1}", u"{A2}"});
    if (Chance(60)) {
      SetOrRemove(75, key, u"StubPath", Command(), true);
    } else {
      SetOrRemove(75, key, u"", Of({u"Mail", u"Shell"}));
    }
  }
};

TEST(LiveRescanAgreement, RandomClassEntryAndServerChangesLeaveNothingForTheRescan) {
  ExpectLiveAgreesWithRescan<Scenario>(kBoot);
}

}  // namespace
}  // namespace LiveTest
