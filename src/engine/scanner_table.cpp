#include "engine/scanner_table.h"

#include <array>

#include "engine/load_point_engine.h"
#include "families/common/scan_rules.h"
#include "families/winsock/winsock_catalog.h"

namespace {

using enum ReadAs;
using enum ClassFrom;

// Shorthands for the keys that recur below.
#define RUN_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUN_ONCE_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define POLICY_RUN_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"
#define WINLOGON_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
#define WINDOWS_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"
#define EXPLORER_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer"
#define IFEO_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"
#define ACTIVE_SETUP_KEY u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components"
#define IE_KEY u"SOFTWARE\\Microsoft\\Internet Explorer"
#define PROTOCOLS_KEY u"SOFTWARE\\Classes\\PROTOCOLS"
#define WINSOCK_KEY u"Services\\WinSock2\\Parameters"

//                   read as      key                       value                type wow64 class from  code display
constexpr ScanLocation kRunKeys[] = {
    {kValues,      RUN_KEY,                                nullptr,             1},
    {kValues,      RUN_ONCE_KEY,                           nullptr,             2},
    {kValues,      POLICY_RUN_KEY,                         nullptr,             5},
    {kList,        WINLOGON_KEY,                           u"Userinit",         7},
    {kList,        WINDOWS_KEY,                            u"AppInit_DLLs",     8},
    {kSubkeys,     WINLOGON_KEY u"\\Notify",               u"DLLName",          9},
    {kNamedValue,  WINLOGON_KEY,                           u"UIHost",          34},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           37},
};
constexpr ScanLocation kControlSetLists[] = {
    {kList,        u"Control\\SecurityProviders",          u"SecurityProviders",        30},
    {kList,        u"Control\\Lsa",                        u"Authentication Packages",  31},
    {kList,        u"Control\\Lsa",                        u"Notification Packages",    32},
    {kList,        u"Control\\Lsa",                        u"Security Packages",        33},
    {kList,        u"Control\\Terminal Server\\Wds\\rdpwd", u"StartupPrograms",         36},
    {kList,        u"Control\\Session Manager",            u"BootExecute",              59},
};
constexpr ScanLocation kWow64RunKeys[] = {
    {kValues,      RUN_KEY,                                nullptr,            16, 1},
    {kValues,      RUN_ONCE_KEY,                           nullptr,            17, 1},
    {kValues,      POLICY_RUN_KEY,                         nullptr,            18, 1},
    {kList,        WINLOGON_KEY,                           u"Userinit",        19, 1},
    {kList,        WINDOWS_KEY,                            u"AppInit_DLLs",    20, 1},
    {kSubkeys,     WINLOGON_KEY u"\\Notify",               u"DLLName",         21, 1},
    {kNamedValue,  WINLOGON_KEY,                           u"UIHost",          35, 1},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           39, 1},
};
constexpr ScanLocation kWow64ShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            43, 1, kEntryName, 47}};
constexpr ScanLocation kWow64IconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         45, 1, kCommandLine, 49}};
constexpr ScanLocation kWow64Debuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        48, 1}};
constexpr ScanLocation kWow64ActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        52, 1, kNone, 0, u""}};
constexpr ScanLocation kWinsockCatalogs64[] = {
    {kProtocolCatalog, WINSOCK_KEY u"\\Protocol_Catalog9\\Catalog_Entries64", nullptr, 63}};
constexpr ScanLocation kNameSpaceCatalogs64[] = {
    {kSubkeys, WINSOCK_KEY u"\\NameSpace_Catalog5\\Catalog_Entries64", u"LibraryPath", 62, 0, kNone, 0, u"DisplayString"}};
constexpr ScanLocation kWow64Extensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            55, 1, kCommandLine, 64}};
constexpr ScanLocation kWow64Protocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           60, 1, kCommandLine, 43},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           61, 1, kCommandLine, 45},
};
constexpr ScanLocation kDelayLoadObjects[] = {
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            10, 0, kCommandLine, 16},
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            22, 1, kCommandLine, 17},
};
constexpr ScanLocation kSharedTaskSchedulers[] = {
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            11, 0, kEntryName, 18},
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            23, 1, kEntryName, 19},
};
constexpr ScanLocation kToolbars[] = {
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            25, 0, kEntryName, 25},
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            26, 1, kEntryName, 26},
};
constexpr ScanLocation kBrowserExtensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            54, 0, kCommandLine, 63}};
constexpr ScanLocation kProtocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           40, 0, kCommandLine, 42},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           41, 0, kCommandLine, 44},
};
constexpr ScanLocation kShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            42, 0, kEntryName, 46}};
constexpr ScanLocation kIconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         44, 0, kCommandLine, 48}};
constexpr ScanLocation kDebuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        47}};
constexpr ScanLocation kPrintMonitors[] = {
    {kSubkeys,     u"Control\\Print\\Monitors",            u"Driver",          50}};
constexpr ScanLocation kActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        51, 0, kNone, 0, u""}};
constexpr ScanLocation kNameSpaceCatalogs[] = {
    {kSubkeys, WINSOCK_KEY u"\\NameSpace_Catalog5\\Catalog_Entries", u"LibraryPath", 53, 0, kNone, 0, u"DisplayString"}};
constexpr ScanLocation kWinsockCatalogs[] = {
    {kProtocolCatalog, WINSOCK_KEY u"\\Protocol_Catalog9\\Catalog_Entries", nullptr, 57}};
// Below each user's hive; USER_ID is the user's SID.
constexpr ScanLocation kUserLocations[] = {
    {kValues,      RUN_KEY,                                nullptr,             3},
    {kValues,      RUN_ONCE_KEY,                           nullptr,             4},
    {kValues,      POLICY_RUN_KEY,                         nullptr,             6},
    {kNamedValue,  WINDOWS_KEY,                            u"load",            14},
    {kNamedValue,  WINDOWS_KEY,                            u"run",             14},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           38},
    {kNamedValue,  u"Control Panel\\Desktop",              u"SCRNSAVE.EXE",    49},
    {kValues,      IE_KEY u"\\URLSearchHooks",             nullptr,            46, 0, kEntryName, 50},
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            56, 0, kCommandLine, 65},
};

#undef RUN_KEY
#undef RUN_ONCE_KEY
#undef POLICY_RUN_KEY
#undef WINLOGON_KEY
#undef WINDOWS_KEY
#undef EXPLORER_KEY
#undef IFEO_KEY
#undef ACTIVE_SETUP_KEY
#undef IE_KEY
#undef PROTOCOLS_KEY
#undef WINSOCK_KEY

using enum ScanScope;

constexpr ScannerStep kScannerSteps[] = {
    {kMachine, kRunKeys},                      // native Run keys and Winlogon values
    {kPerControlSet, kControlSetLists},        // security, LSA, terminal server, boot lists
    {kMachine, kWow64RunKeys},                 // the same on the 32-bit view
    {kMachine, kWow64ShellExecuteHooks},
    {kMachine, kWow64IconOverlays},
    {kMachine, kWow64Debuggers},
    {kMachine, kWow64ActiveSetup},
    {kPerControlSet, kWinsockCatalogs64},      // the 64-bit catalog entries
    {kPerControlSet, kNameSpaceCatalogs64},
    {kMachine, kWow64Extensions},
    {kMachine, kWow64Protocols},
    {kTasksWow64, {}},
    {kMachine, kDelayLoadObjects},
    {kMachine, kSharedTaskSchedulers},
    {kBrowserHelperObjects, {}},
    {kMachine, kToolbars},
    {kMachine, kBrowserExtensions},
    {kMachine, kProtocols},
    {kMachine, kShellExecuteHooks},
    {kMachine, kIconOverlays},
    {kMachine, kDebuggers},
    {kPerControlSet, kPrintMonitors},
    {kMachine, kActiveSetup},
    {kPerControlSet, kNameSpaceCatalogs},
    {kPerControlSet, kWinsockCatalogs},
    {kNetworkProviders, {}},
    {kTasksNative, {}},
    {kUserHives, kUserLocations},
    {kServices, {}},
    {kStartupFolders, {}},
};

}  // namespace

std::span<const ScannerStep> ScannerTable() { return kScannerSteps; }

std::u16string Wow64Path(std::u16string_view path) {
  const size_t firstSeparator = path.find(u'\\');
  if (firstSeparator == std::u16string_view::npos) return std::u16string(path) + u"\\Wow6432Node";
  std::u16string result(path.substr(0, firstSeparator + 1));
  result += u"Wow6432Node\\";
  result += path.substr(firstSeparator + 1);
  return result;
}

int32_t ScanLocationEntries(LoadPointEngine& engine, const ScanLocation& location,
                            Platform::Handle root, const std::u16string& keyPath,
                            const std::u16string& userId) {
  switch (location.readAs) {
    case kValues:
      ScanKeyValues(engine, root, keyPath, location.type, userId);
      return 0;
    case kNamedValue:
      ScanNamedValue(engine, root, keyPath, location.value, location.type, userId);
      return 0;
    case kList:
      ScanValueList(engine, root, keyPath, location.value, location.type, userId);
      return 0;
    case kSubkeys:
      ScanSubkeyValues(engine, root, keyPath, location.value, location.display, location.type,
                       userId);
      return 0;
    case kExtensions:
      return ScanBrowserExtensions(engine, root, keyPath, location.type, userId);
    case kProtocolCatalog:
      ScanProtocolCatalog(engine, root, keyPath, location.type, userId);
      return 0;
  }
  return 0;
}
