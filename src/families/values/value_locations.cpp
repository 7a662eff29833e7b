// The Run, Winlogon, shell and control-set locations whose entries are values or the
// items of one list value, and the shell locations whose values name a COM class.

#include "families/common/load_point_handlers.h"
#include "families/common/location_families.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum NameRule;
using enum UserRule;
constexpr auto M = kMachineRoot;
constexpr auto U = kEveryUserRoot;
constexpr int32_t Val = kKeyDepthValue;
constexpr LiveHandler Value = HandleValueLoadPoint;
constexpr LiveHandler List = HandleListValue;

constexpr std::u16string_view kRun = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::u16string_view kRunOnce = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr std::u16string_view kExplorerRun =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr std::u16string_view kWinlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::u16string_view kWindows = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr std::u16string_view kLsa = u"SYSTEM\\*\\Control\\Lsa";
constexpr std::u16string_view kWowRun = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::u16string_view kWowWinlogon =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::u16string_view kExplorer = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr std::u16string_view kWowExplorer =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer";

constexpr LocationDeclaration kLocations[] = {
    // code                        type                          name      user         depth handler
    {kRunCode,                     kRunType,                     kValue,   kSid,        Val, Value},
    {kRunWow64Code,                kRunWow64Type,                kValue,   kSid,        Val, Value},
    {kRunOnceCode,                 kRunOnceType,                 kValue,   kSid,        Val, Value},
    {kRunOnceWow64Code,            kRunOnceWow64Type,            kValue,   kSid,        Val, Value},
    {kUserRunCode,                 kUserRunType,                 kValue,   kSid,        Val, Value},
    {kUserRunOnceCode,             kUserRunOnceType,             kValue,   kSid,        Val, Value},
    {kExplorerRunCode,             kExplorerRunType,             kValue,   kSid,        Val, Value},
    {kExplorerRunWow64Code,        kExplorerRunWow64Type,        kValue,   kSid,        Val, Value},
    {kUserExplorerRunCode,         kUserExplorerRunType,         kValue,   kSid,        Val, Value},
    {kUserinitCode,                kUserinitType,                kValue,   kSid,        Val, List},
    {kUserinitWow64Code,           kUserinitWow64Type,           kValue,   kSid,        Val, List},
    {kAppInitDllsCode,             kAppInitDllsType,             kValue,   kSid,        Val, List},
    {kAppInitDllsWow64Code,        kAppInitDllsWow64Type,        kValue,   kSid,        Val, List},
    {kNotifyCode,                  kNotifyType,                  kLast,    kSid,        Val, Value},
    {kNotifyWow64Code,             kNotifyWow64Type,             kLast,    kSid,        Val, Value},
    {kDelayLoadCode,               kDelayLoadType,               kClassValue,   kSid,   Val, Value},
    {kDelayLoadWow64Code,          kDelayLoadWow64Type,          kClassValue32, kSid,   Val, Value},
    {kSharedTaskSchedulerCode,     kSharedTaskSchedulerType,     kClassValue,   kSid,   Val, Value},
    {kSharedTaskSchedulerWow64Code, kSharedTaskSchedulerWow64Type, kClassValue32, kSid, Val, Value},
    {kUserWindowsRunLoadCode,      kWindowsRunLoadType,          kValue,   kSid,        Val, Value},
    {kToolbarCode,                 kToolbarType,                 kClassValue,   kSid,   Val, Value},
    {kToolbarWow64Code,            kToolbarWow64Type,            kClassValue32, kSid,   Val, Value},
    {kSecurityProvidersCode,       kSecurityProvidersType,       kValue,   kControlSet, Val, List},
    {kAuthenticationPackagesCode,  kAuthenticationPackagesType,  kValue,   kControlSet, Val, List},
    {kNotificationPackagesCode,    kNotificationPackagesType,    kValue,   kControlSet, Val, List},
    {kSecurityPackagesCode,        kSecurityPackagesType,        kValue,   kControlSet, Val, List},
    {kUIHostCode,                  kUIHostType,                  kValue,   kSid,        Val, Value},
    {kUIHostWow64Code,             kUIHostWow64Type,             kValue,   kSid,        Val, Value},
    {kTerminalServerStartupCode,   kTerminalServerStartupType,   kValue,   kControlSet, Val, List},
    {kWinlogonShellCode,           kWinlogonShellType,           kValue,   kSid,        Val, Value},
    {kWinlogonShellWow64Code,      kWinlogonShellWow64Type,      kValue,   kSid,        Val, Value},
    {kUserWinlogonShellCode,       kUserWinlogonShellType,       kValue,   kSid,        Val, Value},
    {kProtocolFilterCode,          kProtocolFilterType,          kClassLast, kSid,      Val, Value},
    {kProtocolFilterWow64Code,     kProtocolFilterWow64Type,     kClassLast, kSid,      Val, Value},
    {kProtocolHandlerCode,         kProtocolHandlerType,         kClassLast, kSid,      Val, Value},
    {kProtocolHandlerWow64Code,    kProtocolHandlerWow64Type,    kClassLast, kSid,      Val, Value},
    {kShellExecuteHooksCode,       kShellExecuteHookType,        kClassValue, kSid,     Val, Value},
    {kShellExecuteHooksWow64Code,  kShellExecuteHookWow64Type,   kClassValue, kSid,     Val, Value},
    {kIconOverlayCode,             kIconOverlayType,             kLast,    kSid,        Val, Value},
    {kIconOverlayWow64Code,        kIconOverlayWow64Type,        kLast,    kSid,        Val, Value},
    {kUserUrlSearchHooksCode,      kUserUrlSearchHookType,       kClassValue, kSid,     Val, Value},
    {kDebuggerCode,                kDebuggerType,                kLast,    kSid,        Val, Value},
    {kDebuggerWow64Code,           kDebuggerWow64Type,           kLast,    kSid,        Val, Value},
    {kUserScreenSaverCode,         kUserScreenSaverType,         kValue,   kSid,        Val, Value},
    {kPrintMonitorCode,            kPrintMonitorType,            kLast,    kControlSet, Val, Value},
    {kBootExecuteCode,             kBootExecuteType,             kValue,   kControlSet, Val, List},
};

constexpr WatchedValue kWatched[] = {
    {kRunCode, M, kRun, u"", true},
    {kRunOnceCode, M, kRunOnce, u"", true},
    {kExplorerRunCode, M, kExplorerRun, u"", true},
    {kUserinitCode, M, kWinlogon, u"Userinit"},
    {kAppInitDllsCode, M, kWindows, u"AppInit_DLLs"},
    {kNotifyCode, M, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\*", u"DLLName"},
    {kDelayLoadCode, M, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", u"", true},
    {kSharedTaskSchedulerCode, M, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", u"", true},
    {kToolbarCode, M, u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", u"", true},
    {kUIHostCode, M, kWinlogon, u"UIHost"},
    {kSecurityProvidersCode, M, u"SYSTEM\\*\\Control\\SecurityProviders", u"SecurityProviders"},
    {kAuthenticationPackagesCode, M, kLsa, u"Authentication Packages"},
    {kNotificationPackagesCode, M, kLsa, u"Notification Packages"},
    {kSecurityPackagesCode, M, kLsa, u"Security Packages"},
    {kTerminalServerStartupCode, M, u"SYSTEM\\*\\Control\\Terminal Server\\Wds\\rdpwd", u"StartupPrograms"},
    {kWinlogonShellCode, M, kWinlogon, u"Shell"},
    {kProtocolFilterCode, M, u"SOFTWARE\\Classes\\PROTOCOLS\\Filter\\*", u"CLSID"},
    {kProtocolHandlerCode, M, u"SOFTWARE\\Classes\\PROTOCOLS\\Handler\\*", u"CLSID"},
    {kShellExecuteHooksCode, M, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", u"", true},
    {kIconOverlayCode, M, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\*", u""},
    {kDebuggerCode, M, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\*", u"Debugger"},
    {kPrintMonitorCode, M, u"SYSTEM\\*\\Control\\Print\\Monitors\\*", u"Driver"},
    {kBootExecuteCode, M, u"SYSTEM\\*\\Control\\Session Manager", u"BootExecute"},
    {kUserRunCode, U, kRun, u"", true},
    {kUserRunOnceCode, U, kRunOnce, u"", true},
    {kUserExplorerRunCode, U, kExplorerRun, u"", true},
    {kUserWindowsRunLoadCode, U, kWindows, u"load"},
    {kUserWindowsRunLoadCode, U, kWindows, u"run"},
    {kUserWinlogonShellCode, U, kWinlogon, u"Shell"},
    {kUserUrlSearchHooksCode, U, u"SOFTWARE\\Microsoft\\Internet Explorer\\URLSearchHooks", u"", true},
    {kUserScreenSaverCode, U, u"Control Panel\\Desktop", u"SCRNSAVE.EXE"},
    {kRunWow64Code, M, kWowRun, u"", true},
    {kRunOnceWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", u"", true},
    {kExplorerRunWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", u"", true},
    {kUserinitWow64Code, M, kWowWinlogon, u"Userinit"},
    {kAppInitDllsWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows", u"AppInit_DLLs"},
    {kNotifyWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\*", u"DLLName"},
    {kDelayLoadWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", u"", true},
    {kSharedTaskSchedulerWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", u"", true},
    {kToolbarWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar", u"", true},
    {kUIHostWow64Code, M, kWowWinlogon, u"UIHost"},
    {kWinlogonShellWow64Code, M, kWowWinlogon, u"Shell"},
    {kShellExecuteHooksWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", u"", true},
    {kIconOverlayWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\*", u""},
    {kDebuggerWow64Code, M, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\*", u"Debugger"},
    {kProtocolFilterWow64Code, M, u"SOFTWARE\\Wow6432Node\\Classes\\PROTOCOLS\\Filter\\*", u"CLSID"},
    {kProtocolHandlerWow64Code, M, u"SOFTWARE\\Wow6432Node\\Classes\\PROTOCOLS\\Handler\\*", u"CLSID"},
};

// Types 1 to 35 carry the names the product has always shown; the later ones were
// chosen for the simulator's report only (the database stores numbers), each naming
// the location as an administrator would look for it, with the product's "(WOW6432)"
// mark for the 32-bit twin.
constexpr TypeDeclaration kTypes[] = {
    {kRunType, u"Run", false},
    {kRunOnceType, u"Run Once", false},
    {kUserRunType, u"User Run", false},
    {kUserRunOnceType, u"User Run Once", false},
    {kExplorerRunType, u"Explorer Run", false},
    {kUserExplorerRunType, u"User Explorer Run", false},
    {kUserinitType, u"UserInit", false},
    {kAppInitDllsType, u"AppInit_DLLs", false},
    {kNotifyType, u"Notify", false},
    {kDelayLoadType, u"Shell Service Delay Load", false},
    {kSharedTaskSchedulerType, u"Task Scheduler", false},
    {kWindowsRunLoadType, u"Windows (Run/Load)", false},
    {kRunWow64Type, u"Run (WOW6432)", false},
    {kRunOnceWow64Type, u"Run Once (WOW6432)", false},
    {kExplorerRunWow64Type, u"Explorer Run (WOW6432)", false},
    {kUserinitWow64Type, u"UserInit (WOW6432)", false},
    {kAppInitDllsWow64Type, u"AppInit_DLLs (WOW6432)", false},
    {kNotifyWow64Type, u"Notify (WOW6432)", false},
    {kDelayLoadWow64Type, u"Shell Service Delay Load (WOW6432)", false},
    {kSharedTaskSchedulerWow64Type, u"Task Scheduler (WOW6432)", false},
    {kToolbarType, u"IE Toolbar", false},
    {kToolbarWow64Type, u"IE Toolbar (WOW6432)", false},
    {kSecurityProvidersType, u"Security Providers", true},
    {kAuthenticationPackagesType, u"Authentication Packages", true},
    {kNotificationPackagesType, u"Notification Packages", true},
    {kSecurityPackagesType, u"Security Packages", true},
    {kUIHostType, u"UIHost", false},
    {kUIHostWow64Type, u"UIHost (WOW6432)", false},
    {kTerminalServerStartupType, u"Terminal Server Startup Programs", true},
    {kWinlogonShellType, u"Winlogon Shell", false},
    {kUserWinlogonShellType, u"User Winlogon Shell", false},
    {kWinlogonShellWow64Type, u"Winlogon Shell (WOW6432)", false},
    {kProtocolFilterType, u"Protocol Filter", false},
    {kProtocolHandlerType, u"Protocol Handler", false},
    {kShellExecuteHookType, u"Shell Execute Hook", false},
    {kShellExecuteHookWow64Type, u"Shell Execute Hook (WOW6432)", false},
    {kIconOverlayType, u"Shell Icon Overlay", false},
    {kIconOverlayWow64Type, u"Shell Icon Overlay (WOW6432)", false},
    {kUserUrlSearchHookType, u"User URL Search Hook", false},
    {kDebuggerType, u"Image File Debugger", false},
    {kDebuggerWow64Type, u"Image File Debugger (WOW6432)", false},
    {kUserScreenSaverType, u"User Screen Saver", false},
    {kPrintMonitorType, u"Print Monitor", true},
    {kBootExecuteType, u"Boot Execute", true},
    {kProtocolFilterWow64Type, u"Protocol Filter (WOW6432)", false},
    {kProtocolHandlerWow64Type, u"Protocol Handler (WOW6432)", false},
};

}  // namespace

FamilyDeclarations ValueLocations() { return {u"values and lists", kLocations, kWatched, kTypes, ValueScanSteps()}; }

}  // namespace Families
