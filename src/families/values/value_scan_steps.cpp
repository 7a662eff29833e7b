// The rescan steps of the values and lists: the Run and Winlogon keys, the control sets' lists, the shell's class locations, each on the native and the 32-bit view, and
// every user's locations (the user's browser extensions among them, read in the same
// pass over each hive).

#include "families/common/location_families.h"

namespace {

using enum ReadAs;
using enum ClassFrom;
using enum ScanScope;

// Shorthands for the keys that recur below.
#define RUN_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUN_ONCE_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define POLICY_RUN_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"
#define WINLOGON_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
#define WINDOWS_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"
#define EXPLORER_KEY u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer"
#define IFEO_KEY u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"
#define IE_KEY u"SOFTWARE\\Microsoft\\Internet Explorer"
#define PROTOCOLS_KEY u"SOFTWARE\\Classes\\PROTOCOLS"

//                   read as      key                       value                type wow64 class from  code display
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
    {kValues,      RUN_KEY,                                nullptr,            16, true},
    {kValues,      RUN_ONCE_KEY,                           nullptr,            17, true},
    {kValues,      POLICY_RUN_KEY,                         nullptr,            18, true},
    {kList,        WINLOGON_KEY,                           u"Userinit",        19, true},
    {kList,        WINDOWS_KEY,                            u"AppInit_DLLs",    20, true},
    {kSubkeys,     WINLOGON_KEY u"\\Notify",               u"DLLName",         21, true},
    {kNamedValue,  WINLOGON_KEY,                           u"UIHost",          35, true},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           39, true},
};
constexpr ScanLocation kWow64ShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            43, true, kEntryName, 47}};
constexpr ScanLocation kWow64IconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         45, true, kCommandLine, 49}};
constexpr ScanLocation kWow64Debuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        48, true}};
constexpr ScanLocation kWow64Protocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           60, true, kCommandLine, 43},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           61, true, kCommandLine, 45},
};
constexpr ScanLocation kDelayLoadObjects[] = {
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            10, false, kCommandLine, 16},
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            22, true, kCommandLine, 17},
};
constexpr ScanLocation kSharedTaskSchedulers[] = {
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            11, false, kEntryName, 18},
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            23, true, kEntryName, 19},
};
constexpr ScanLocation kToolbars[] = {
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            25, false, kEntryName, 25},
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            26, true, kEntryName, 26},
};
constexpr ScanLocation kProtocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           40, false, kCommandLine, 42},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           41, false, kCommandLine, 44},
};
constexpr ScanLocation kShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            42, false, kEntryName, 46}};
constexpr ScanLocation kIconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         44, false, kCommandLine, 48}};
constexpr ScanLocation kDebuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        47}};
constexpr ScanLocation kPrintMonitors[] = {
    {kSubkeys,     u"Control\\Print\\Monitors",            u"Driver",          50}};
// Below each user's hive; USER_ID is the user's SID.
constexpr ScanLocation kUserLocations[] = {
    {kValues,      RUN_KEY,                                nullptr,             3},
    {kValues,      RUN_ONCE_KEY,                           nullptr,             4},
    {kValues,      POLICY_RUN_KEY,                         nullptr,             6},
    {kNamedValue,  WINDOWS_KEY,                            u"load",            14},
    {kNamedValue,  WINDOWS_KEY,                            u"run",             14},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           38},
    {kNamedValue,  u"Control Panel\\Desktop",              u"SCRNSAVE.EXE",    49},
    {kValues,      IE_KEY u"\\URLSearchHooks",             nullptr,            46, false, kEntryName, 50},
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            56, false, kCommandLine, 65},
};

#undef RUN_KEY
#undef RUN_ONCE_KEY
#undef POLICY_RUN_KEY
#undef WINLOGON_KEY
#undef WINDOWS_KEY
#undef EXPLORER_KEY
#undef IFEO_KEY
#undef IE_KEY
#undef PROTOCOLS_KEY

// The rank is the step's place in the whole rescan.
constexpr ScanStepDeclaration kSteps[] = {
    {1, {kMachine, kRunKeys}},
    {2, {kPerControlSet, kControlSetLists}},
    {3, {kMachine, kWow64RunKeys}},
    {4, {kMachine, kWow64ShellExecuteHooks}},
    {5, {kMachine, kWow64IconOverlays}},
    {6, {kMachine, kWow64Debuggers}},
    {11, {kMachine, kWow64Protocols}},
    {13, {kMachine, kDelayLoadObjects}},
    {14, {kMachine, kSharedTaskSchedulers}},
    {16, {kMachine, kToolbars}},
    {18, {kMachine, kProtocols}},
    {19, {kMachine, kShellExecuteHooks}},
    {20, {kMachine, kIconOverlays}},
    {21, {kMachine, kDebuggers}},
    {22, {kPerControlSet, kPrintMonitors}},
    {28, {kUserHives, kUserLocations}},
};

}  // namespace

std::span<const ScanStepDeclaration> ValueScanSteps() { return kSteps; }
