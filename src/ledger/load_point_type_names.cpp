#include <array>

#include "ledger/load_point_catalogue.h"

namespace {

// Index = LoadPointType. Types 1 to 35 carry the names the product has always shown.
// Types 36 to 65 never had names; the ones below were chosen for the simulator's
// report only (the database stores numbers), each naming the location as an
// administrator would look for it, with the product's "(WOW6432)" mark for the
// 32-bit twin.
constexpr std::array<std::u16string_view, kLastLoadPointType + 1> kTypeNames = {
    u"",  // 0: no type
    u"Run", u"Run Once", u"User Run", u"User Run Once", u"Explorer Run",
    u"User Explorer Run", u"UserInit", u"AppInit_DLLs", u"Notify", u"Shell Service Delay Load",
    u"Task Scheduler", u"Service", u"Service DLL", u"Windows (Run/Load)", u"BHO",
    u"Run (WOW6432)", u"Run Once (WOW6432)", u"Explorer Run (WOW6432)", u"UserInit (WOW6432)",
    u"AppInit_DLLs (WOW6432)", u"Notify (WOW6432)", u"Shell Service Delay Load (WOW6432)",
    u"Task Scheduler (WOW6432)", u"BHO (WOW6432)", u"IE Toolbar", u"IE Toolbar (WOW6432)",
    u"Startup Folder", u"User Startup Folder", u"Driver", u"Security Providers",
    u"Authentication Packages", u"Notification Packages", u"Security Packages", u"UIHost",
    u"UIHost (WOW6432)",
    // 36 to 65: report names.
    u"Terminal Server Startup Programs",    // 36
    u"Winlogon Shell",                      // 37
    u"User Winlogon Shell",                 // 38
    u"Winlogon Shell (WOW6432)",            // 39
    u"Protocol Filter",                     // 40
    u"Protocol Handler",                    // 41
    u"Shell Execute Hook",                  // 42
    u"Shell Execute Hook (WOW6432)",        // 43
    u"Shell Icon Overlay",                  // 44
    u"Shell Icon Overlay (WOW6432)",        // 45
    u"User URL Search Hook",                // 46
    u"Image File Debugger",                 // 47
    u"Image File Debugger (WOW6432)",       // 48
    u"User Screen Saver",                   // 49
    u"Print Monitor",                       // 50
    u"Active Setup",                        // 51
    u"Active Setup (WOW6432)",              // 52
    u"Winsock Name Space Provider",         // 53
    u"IE Extension",                        // 54
    u"IE Extension (WOW6432)",              // 55
    u"User IE Extension",                   // 56
    u"Winsock Protocol Provider",           // 57
    u"Network Provider",                    // 58
    u"Boot Execute",                        // 59
    u"Protocol Filter (WOW6432)",           // 60
    u"Protocol Handler (WOW6432)",          // 61
    u"Winsock Name Space Provider (64-bit)",  // 62
    u"Winsock Protocol Provider (64-bit)",    // 63
    u"Scheduled Task",                      // 64
    u"Scheduled Task (WOW6432)",            // 65
};

}  // namespace

std::u16string LoadPointTypeDisplayName(uint32_t type) {
  if (type == 0 || type >= kTypeNames.size()) return u"Unknown";
  return std::u16string(kTypeNames[type]);
}
