#pragma once
// Where a machine image keeps each registry hive, and which hive holds a key.
//
// The hives sit where Windows keeps them, as regedit files named after the hive
// files they stand for:
//   HKLM\SOFTWARE, HKLM\SYSTEM, HKU\.DEFAULT   C:\Windows\System32\config\<NAME>.reg
//   HKU\S-1-5-18 (SYSTEM)                      C:\Windows\System32\config\systemprofile\NTUSER.reg
//   HKU\S-1-5-19 (LOCAL SERVICE)               C:\Windows\ServiceProfiles\LocalService\NTUSER.reg
//   HKU\S-1-5-20 (NETWORK SERVICE)             C:\Windows\ServiceProfiles\NetworkService\NTUSER.reg
//   HKU\<SID> of a logged-on user              <profile>\NTUSER.reg
//   HKU\<SID>_Classes of each of the above     <profile>\AppData\Local\Microsoft\Windows\UsrClass.reg
// A user who is not logged on has no hive loaded, as on Windows; "user logon" gives
// the user's hives their places, "user logoff" takes them out of use again.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/machine_image.h"

namespace Sim {

struct HivePlace {
  std::u16string storePath;       // "MACHINE\SOFTWARE", "USER\S-1-5-18_Classes"
  std::u16string regeditPath;     // "HKEY_LOCAL_MACHINE\SOFTWARE", as the files name it
  std::u16string windowsFile;     // "C:\Windows\System32\config\SOFTWARE.reg"
  std::string hostFile;           // that file in the image folder
  std::u16string currentUserSid;  // what HKEY_CURRENT_USER means inside the file
  bool required = false;          // SOFTWARE and SYSTEM: no Windows boots without them
};

class HiveLayout {
 public:
  // False with "<folder>/machine.json: <problem>" for a profile that is not a plain
  // path on a drive (it would put a hive outside the image).
  static std::optional<HiveLayout> Make(const std::string& folder, const ImageManifest& manifest,
                                        std::string* error);

  // In load order: SYSTEM first (it names the current control set), then SOFTWARE,
  // DEFAULT, the service accounts and the logged-on users.
  const std::vector<HivePlace>& Places() const { return places_; }

  // The index of the place whose hive holds the key at storePath ("USER\S-1-5-18\x").
  // The roots themselves ("MACHINE", "USER") belong to no hive and hold nothing:
  // nullopt with problem empty. A key no hive can hold: nullopt with problem set.
  std::optional<size_t> HiveOf(std::u16string_view storePath, std::u16string* problem) const;

  // A user logs on: the user's two hives get places (kept after a log-off, so the
  // indexes of Places() never change). False with the problem of a bad profile.
  bool LogOn(const std::string& folder, const Emulated::UserAccount& user, std::string* error);
  void LogOff(std::u16string_view sid);
  bool IsLoggedOn(std::u16string_view sid) const;
  // The places of HKU\<sid> and HKU\<sid>_Classes that exist.
  std::vector<size_t> PlacesOf(std::u16string_view sid) const;

 private:
  HiveLayout() = default;
  bool AddAccount(const std::string& folder, std::u16string_view sid, std::u16string_view profile,
                  std::string* error);
  std::optional<size_t> Find(std::u16string_view storePath) const;
  bool IsLoggedOffUser(std::u16string_view sid) const;

  std::vector<HivePlace> places_;
  std::vector<std::u16string> linkedClasses_;  // SIDs whose Software\Classes is their _Classes hive
  std::vector<std::u16string> loggedOff_;
};

}  // namespace Sim
