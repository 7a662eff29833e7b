#pragma once
// What an emulated machine is made of before it boots: its Windows version, name,
// clock zone, drives, users and machine-wide environment variables.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace Emulated {

struct UserAccount {
  std::u16string sid;
  std::u16string domain;
  std::u16string name;
  std::u16string profilePath;  // for example C:\Users\alice
  bool loggedOn = false;       // a logged-on user's hives are loaded under HKEY_USERS
};

struct DriveMapping {
  char16_t letter = u'C';
  std::string hostFolder;  // the host folder that holds the drive's files
  uint32_t volumeNumber = 2;  // \Device\HarddiskVolume<N>
};

// What the machine's trust provider can do. A damaged or stripped-down image may lack
// the trust library or be unable to hand out a catalog administrator context.
struct TrustConfig {
  bool libraryAvailable = true;         // LoadLibrary("Wintrust.dll") succeeds
  bool catalogContextAvailable = true;  // CryptCATAdminAcquireContext(2) succeeds
  // SHA-1 thumbprints (hexadecimal) of the roots that count as the operating-system
  // vendor's: the driver verification policy, which judges catalog members, accepts
  // no other root.
  std::vector<std::u16string> vendorRoots;
  // File names of the catalogs under CatRoot that the catalog database holds: only
  // these are found by a hash; a file merely copied there is not.
  std::vector<std::u16string> registeredCatalogs;
};

struct MachineConfig {
  // Windows 10 x64 workstation unless told otherwise.
  Platform::OsVersionInfo version{10, 0, 19045, 2, u"", 0, 0, 0x100, 1, 9};
  std::u16string computerName = u"DESKTOP-BRUMEVL";
  // Local time = UTC + this many minutes (no daylight saving).
  int32_t utcOffsetMinutes = 0;
  uint16_t systemDefaultLangId = 0x0409;
  std::vector<DriveMapping> drives;
  // Machine-wide environment variables (SystemRoot, ProgramFiles, ...). Defaults for
  // a Windows 10 layout on drive C are added for names not given here.
  std::vector<std::pair<std::u16string, std::u16string>> environment;
  // Accounts besides the well-known SYSTEM, LOCAL SERVICE and NETWORK SERVICE.
  std::vector<UserAccount> users;
  TrustConfig trust;
  // Whether the minifilter's driver file is on the machine. Without it the driver
  // service may still be installed, but starting it fails as a missing driver file
  // does (ERROR_FILE_NOT_FOUND), so its port can never be connected.
  bool minifilterPresent = true;
};

}  // namespace Emulated
