// The settings that weaken the machine and the command of executable files are no
// load points, but they are watched live and read again by the checks that follow
// every rescan, so the same holds for them: random changes, then a rescan and its
// checks that may change nothing.
//
// Left out on purpose, because the live path then leaves the correction to the
// checks: deleting a key that holds a watched value (only values are watched).
//
// Left out as a known disagreement: a setting read as a number written with another
// type, such as the text "1". Its event stores the text it carries, while the check
// counts a value of another type as empty and stores that. Both rules are the
// documented behaviour, and making them agree would change the values recorded.

#include "engine/live_agreement.h"

namespace LiveTest {
namespace {

class Scenario : public RandomChanges {
 public:
  using RandomChanges::RandomChanges;

  void Step() {
    switch (Pick(3)) {
      case 0: UserSettings(); break;
      case 1: MachineSettings(); break;
      default: ExecutableCommand();
    }
  }

 private:
  std::u16string User() { return u"HKU\\" + std::u16string(Of({kAliceSid, kBobSid})); }

  // Numbers, of which the check stores the signed value, or deletions.
  void SetNumber(const std::u16string& key, const std::u16string& name) {
    if (Chance(75)) {
      Set(key, name, Platform::kRegDword, Dword(Of({0u, 1u, 0xFFFFFFFFu})));
    } else {
      Remove(key, name, false);
    }
  }

  void UserSettings() {
    static constexpr const char16_t* kNames[] = {u"DisableRegistryTools", u"DisableTaskMgr", u"NoRun",
                                                 u"NoDispCPL", u"NoDisplScrSavPage"};
    const std::u16string policies = User() + u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies";
    switch (Pick(3)) {
      case 0: SetNumber(policies + u"\\System", Of(kNames)); break;
      case 1: SetNumber(policies + u"\\Explorer", u"NoDriveTypeAutoRun"); break;
      default:
        SetOrRemove(75, User() + u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    u"Startup", Of({u"C:\\Users\\x\\Startup", u"c:\\users\\X\\startup", u"D:\\Startup"}));
    }
  }

  void MachineSettings() {
    static constexpr const char16_t* kNames[] = {u"AntiVirusOverride", u"FirewallDisableNotify"};
    switch (Pick(3)) {
      case 0: SetNumber(u"HKLM\\SOFTWARE\\Microsoft\\Security Center", Of(kNames)); break;
      case 1: SetNumber(u"HKLM\\SOFTWARE\\Kelvra Security\\Brumevale", u"GuardProfile"); break;
      default:
        SetOrRemove(75, u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    u"Common Startup", Of({u"C:\\ProgramData\\Startup", u"c:\\programdata\\STARTUP"}));
    }
  }

  // The extension names its program identifier, whose verbs hold the commands; the
  // machine's classes and each user's.
  void ExecutableCommand() {
    const std::u16string classes =
        Chance(50) ? u"HKLM\\SOFTWARE\\Classes" : User() + u"_Classes";
    switch (Pick(3)) {
      case 0: SetOrRemove(75, classes + u"\\.exe", u"", Of({u"exefile", u"other"})); break;
      case 1: SetOrRemove(75, classes + u"\\exefile\\shell", u"", Of({u"open", u"runas"})); break;
      default:
        SetOrRemove(75, classes + u"\\exefile\\shell\\" + Of({u"open", u"runas"}) + u"\\command", u"",
                    Of({u"\"%1\" %*", u"C:\\a.exe \"%1\"", u"c:\\A.EXE \"%1\""}));
    }
  }
};

TEST(LiveRescanAgreement, RandomSettingAndExecutableCommandChangesLeaveNothingForTheChecks) {
  ExpectLiveAgreesWithRescan<Scenario>("");
}

}  // namespace
}  // namespace LiveTest
