#include "util/os_version.h"

namespace VyrUtilities {

namespace {

using Platform::OsVersionInfo;

uint32_t NineXOrdinal(const OsVersionInfo& v) {
  switch (v.minorVersion) {
    case 0: return 2;
    case 10: return 3;
    case 90: return 4;
    default: return 0;
  }
}

// Later releases were given numbers as they came, so workstation and server of
// one version are far apart; callers only ask "12 or more".
uint32_t NtOrdinal(const OsVersionInfo& v) {
  bool workstation = v.productType == Platform::kVerNtWorkstation;
  uint32_t version = v.majorVersion * 100 + v.minorVersion;
  switch (version) {
    case 500: return 5;
    case 501: return 6;
    case 502:
      return workstation && v.processorArchitecture == Platform::kProcessorArchitectureAmd64 ? 7
                                                                                              : 8;
    case 600: return workstation ? 9 : 10;
    case 601: return workstation ? 11 : 16;
    case 602: return workstation ? 12 : 17;
    case 603: return workstation ? 15 : 18;
    case 1000: return workstation ? 14 : 19;
    default: return 0;
  }
}

}  // namespace

uint32_t GetOsVersionOrdinal(Platform::System& system) {
  OsVersionInfo info;
  if (system.Environment().GetVersionEx(&info) != Platform::kErrorSuccess) return 0;
  if (info.platformId == Platform::kVerPlatformWin32Windows) return NineXOrdinal(info);
  if (info.platformId == Platform::kVerPlatformWin32Nt) return NtOrdinal(info);
  return 0;
}

}  // namespace VyrUtilities
