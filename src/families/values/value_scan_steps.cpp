// The rescan steps of the values and lists: the Run and Winlogon keys, the control sets' lists, the shell's class locations, each on the native and the 32-bit view, and
// every user's locations (the user's browser extensions among them, read in the same
// pass over each hive).

#include "families/common/location_families.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

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

// read as, key, value, LP_TYPE, 32-bit view, where the class is named, its matcher code, display
constexpr ScanLocation kRunKeys[] = {
    {kValues,      RUN_KEY,                                nullptr,             kRunType},
    {kValues,      RUN_ONCE_KEY,                           nullptr,             kRunOnceType},
    {kValues,      POLICY_RUN_KEY,                         nullptr,             kExplorerRunType},
    {kList,        WINLOGON_KEY,                           u"Userinit",         kUserinitType},
    {kList,        WINDOWS_KEY,                            u"AppInit_DLLs",     kAppInitDllsType},
    {kSubkeys,     WINLOGON_KEY u"\\Notify",               u"DLLName",          kNotifyType},
    {kNamedValue,  WINLOGON_KEY,                           u"UIHost",          kUIHostType},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           kWinlogonShellType},
};
constexpr ScanLocation kControlSetLists[] = {
    {kList,        u"Control\\SecurityProviders",          u"SecurityProviders",        kSecurityProvidersType},
    {kList,        u"Control\\Lsa",                        u"Authentication Packages",  kAuthenticationPackagesType},
    {kList,        u"Control\\Lsa",                        u"Notification Packages",    kNotificationPackagesType},
    {kList,        u"Control\\Lsa",                        u"Security Packages",        kSecurityPackagesType},
    {kList,        u"Control\\Terminal Server\\Wds\\rdpwd", u"StartupPrograms",         kTerminalServerStartupType},
    {kList,        u"Control\\Session Manager",            u"BootExecute",              kBootExecuteType},
};
constexpr ScanLocation kWow64RunKeys[] = {
    {kValues,      RUN_KEY,                                nullptr,            kRunWow64Type, true},
    {kValues,      RUN_ONCE_KEY,                           nullptr,            kRunOnceWow64Type, true},
    {kValues,      POLICY_RUN_KEY,                         nullptr,            kExplorerRunWow64Type, true},
    {kList,        WINLOGON_KEY,                           u"Userinit",        kUserinitWow64Type, true},
    {kList,        WINDOWS_KEY,                            u"AppInit_DLLs",    kAppInitDllsWow64Type, true},
    {kSubkeys,     WINLOGON_KEY u"\\Notify",               u"DLLName",         kNotifyWow64Type, true},
    {kNamedValue,  WINLOGON_KEY,                           u"UIHost",          kUIHostWow64Type, true},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           kWinlogonShellWow64Type, true},
};
constexpr ScanLocation kWow64ShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            kShellExecuteHookWow64Type, true, kEntryName, kShellExecuteHooksWow64Code}};
constexpr ScanLocation kWow64IconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         kIconOverlayWow64Type, true, kCommandLine, kIconOverlayWow64Code}};
constexpr ScanLocation kWow64Debuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        kDebuggerWow64Type, true}};
constexpr ScanLocation kWow64Protocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           kProtocolFilterWow64Type, true, kCommandLine, kProtocolFilterWow64Code},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           kProtocolHandlerWow64Type, true, kCommandLine, kProtocolHandlerWow64Code},
};
constexpr ScanLocation kDelayLoadObjects[] = {
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            kDelayLoadType, false, kCommandLine, kDelayLoadCode},
    {kValues,      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                                           nullptr,            kDelayLoadWow64Type, true, kCommandLine, kDelayLoadWow64Code},
};
constexpr ScanLocation kSharedTaskSchedulers[] = {
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            kSharedTaskSchedulerType, false, kEntryName, kSharedTaskSchedulerCode},
    {kValues,      EXPLORER_KEY u"\\SharedTaskScheduler",  nullptr,            kSharedTaskSchedulerWow64Type, true, kEntryName, kSharedTaskSchedulerWow64Code},
};
constexpr ScanLocation kToolbars[] = {
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            kToolbarType, false, kEntryName, kToolbarCode},
    {kValues,      IE_KEY u"\\Toolbar",                    nullptr,            kToolbarWow64Type, true, kEntryName, kToolbarWow64Code},
};
constexpr ScanLocation kProtocols[] = {
    {kSubkeys,     PROTOCOLS_KEY u"\\Filter",              u"CLSID",           kProtocolFilterType, false, kCommandLine, kProtocolFilterCode},
    {kSubkeys,     PROTOCOLS_KEY u"\\Handler",             u"CLSID",           kProtocolHandlerType, false, kCommandLine, kProtocolHandlerCode},
};
constexpr ScanLocation kShellExecuteHooks[] = {
    {kValues,      EXPLORER_KEY u"\\ShellExecuteHooks",    nullptr,            kShellExecuteHookType, false, kEntryName, kShellExecuteHooksCode}};
constexpr ScanLocation kIconOverlays[] = {
    {kSubkeys,     EXPLORER_KEY u"\\ShellIconOverlayIdentifiers", u"",         kIconOverlayType, false, kCommandLine, kIconOverlayCode}};
constexpr ScanLocation kDebuggers[] = {
    {kSubkeys,     IFEO_KEY,                               u"Debugger",        kDebuggerType}};
constexpr ScanLocation kPrintMonitors[] = {
    {kSubkeys,     u"Control\\Print\\Monitors",            u"Driver",          kPrintMonitorType}};
// Below each user's hive; USER_ID is the user's SID.
constexpr ScanLocation kUserLocations[] = {
    {kValues,      RUN_KEY,                                nullptr,             kUserRunType},
    {kValues,      RUN_ONCE_KEY,                           nullptr,             kUserRunOnceType},
    {kValues,      POLICY_RUN_KEY,                         nullptr,             kUserExplorerRunType},
    {kNamedValue,  WINDOWS_KEY,                            u"load",            kWindowsRunLoadType},
    {kNamedValue,  WINDOWS_KEY,                            u"run",             kWindowsRunLoadType},
    {kNamedValue,  WINLOGON_KEY,                           u"Shell",           kUserWinlogonShellType},
    {kNamedValue,  u"Control Panel\\Desktop",              u"SCRNSAVE.EXE",    kUserScreenSaverType},
    {kValues,      IE_KEY u"\\URLSearchHooks",             nullptr,            kUserUrlSearchHookType, false, kEntryName, kUserUrlSearchHooksCode},
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            kUserIeExtensionType, false, kCommandLine, kUserIeExtensionCode},
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

}  // namespace Families
