// The registry locations watched from the start, as data. Each table lists its
// locations in the order they are added; the order matters because a change that
// touches two locations is handled in the order their entries were added.

#include <span>

#include "engine/registry_event_matcher.h"

namespace {

// What a row watches in its key: any value (a key-level entry), the default value,
// or one named value.
struct WatchValue {
  std::u16string_view name;
  int32_t forceValue;
  constexpr WatchValue(std::u16string_view valueName, int32_t force = 1)
      : name(valueName), forceValue(force) {}
  constexpr WatchValue(const char16_t* valueName) : name(valueName), forceValue(1) {}
};

constexpr WatchValue AnyValue{u"", 0};
constexpr WatchValue DefaultValue{u"", 1};

struct WatchRow {
  uint32_t code;
  RegistryRootKind root;
  std::u16string_view keyPath;
  WatchValue value;
};

constexpr RegistryRootKind Machine = kRootMachine;
constexpr RegistryRootKind EveryUser = kRootUser;            // any user's hive
constexpr RegistryRootKind EveryUsersClasses = kRootUserClasses;

constexpr std::u16string_view kRun = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::u16string_view kRunOnce = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr std::u16string_view kExplorerRun =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr std::u16string_view kWinlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::u16string_view kWindows = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr std::u16string_view kService = u"SYSTEM\\*\\Services\\*";
constexpr std::u16string_view kActiveSetup =
    u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\*";
constexpr std::u16string_view kNameSpace =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries\\*";
constexpr std::u16string_view kNameSpace64 =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries64\\*";
constexpr std::u16string_view kProtocols =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries\\*";
constexpr std::u16string_view kProtocols64 =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries64\\*";
constexpr std::u16string_view kExtensions = u"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\*";
constexpr std::u16string_view kNetworkProvider = u"SYSTEM\\*\\Services\\*\\NetworkProvider";
constexpr std::u16string_view kLsa = u"SYSTEM\\*\\Control\\Lsa";

constexpr WatchRow kMachineRows[] = {
    {1, Machine, kRun, AnyValue},
    {3, Machine, kRunOnce, AnyValue},
    {7, Machine, kExplorerRun, AnyValue},
    {10, Machine, kWinlogon, u"Userinit"},
    {12, Machine, kWindows, u"AppInit_DLLs"},
    {14, Machine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\*", u"DLLName"},
    {16, Machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", AnyValue},
    {18, Machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", AnyValue},
    {20, Machine, kService, u"ImagePath"},
    {29, Machine, kService, u"Type"},
    {30, Machine, kService, u"Start"},
    {31, Machine, kService, u"DisplayName"},
    {21, Machine, u"SYSTEM\\*\\Services\\*\\Parameters", u"ServiceDLL"},
    {25, Machine, u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", AnyValue},
    {36, Machine, kWinlogon, u"UIHost"},
    {32, Machine, u"SYSTEM\\*\\Control\\SecurityProviders", u"SecurityProviders"},
    {33, Machine, kLsa, u"Authentication Packages"},
    {34, Machine, kLsa, u"Notification Packages"},
    {35, Machine, kLsa, u"Security Packages"},
    {38, Machine, u"SYSTEM\\*\\Control\\Terminal Server\\Wds\\rdpwd", u"StartupPrograms"},
    {39, Machine, kWinlogon, u"Shell"},
    {42, Machine, u"SOFTWARE\\Classes\\PROTOCOLS\\Filter\\*", u"CLSID"},
    {44, Machine, u"SOFTWARE\\Classes\\PROTOCOLS\\Handler\\*", u"CLSID"},
    {46, Machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", AnyValue},
    {48, Machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\*", DefaultValue},
    {51, Machine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\*", u"Debugger"},
    {54, Machine, u"SYSTEM\\*\\Control\\Print\\Monitors\\*", u"Driver"},
    {55, Machine, kActiveSetup, u"StubPath"},
    {57, Machine, kActiveSetup, DefaultValue},
    {23, Machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\*", AnyValue},
    {59, Machine, kNameSpace, u"LibraryPath"},
    {60, Machine, kNameSpace64, u"LibraryPath"},
    {61, Machine, kNameSpace, u"DisplayString"},
    {62, Machine, kNameSpace64, u"DisplayString"},
    {66, Machine, kProtocols, u"PackedCatalogItem"},
    {67, Machine, kProtocols64, u"PackedCatalogItem"},
    {63, Machine, kExtensions, u"Exec"},
    {63, Machine, kExtensions, u"Script"},
    {63, Machine, kExtensions, u"ClsidExtension"},
    {63, Machine, kExtensions, u"BandCLSID"},
    {70, Machine, u"SYSTEM\\*\\Control\\NetworkProvider\\Order", u"ProviderOrder"},
    {68, Machine, kNetworkProvider, u"ProviderPath"},
    {69, Machine, kNetworkProvider, u"Name"},
    {71, Machine, u"SYSTEM\\*\\Control\\Session Manager", u"BootExecute"},
    {72, Machine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\*", u"Path"},
};

constexpr WatchRow kUserRows[] = {
    {5, EveryUser, kRun, AnyValue},
    {6, EveryUser, kRunOnce, AnyValue},
    {9, EveryUser, kExplorerRun, AnyValue},
    {22, EveryUser, kWindows, u"load"},
    {22, EveryUser, kWindows, u"run"},
    {41, EveryUser, kWinlogon, u"Shell"},
    {50, EveryUser, u"SOFTWARE\\Microsoft\\Internet Explorer\\URLSearchHooks", AnyValue},
    {53, EveryUser, u"Control Panel\\Desktop", u"SCRNSAVE.EXE"},
    {65, EveryUser, kExtensions, u"Exec"},
    {65, EveryUser, kExtensions, u"Script"},
    {65, EveryUser, kExtensions, u"ClsidExtension"},
    {65, EveryUser, kExtensions, u"BandCLSID"},
};

constexpr std::u16string_view kWowWinlogon =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::u16string_view kWowActiveSetup =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components\\*";
constexpr std::u16string_view kWowExtensions =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\*";

constexpr WatchRow kWow64Rows[] = {
    {2, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", AnyValue},
    {4, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", AnyValue},
    {8, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", AnyValue},
    {11, Machine, kWowWinlogon, u"Userinit"},
    {13, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows", u"AppInit_DLLs"},
    {15, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\*", u"DLLName"},
    {17, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", AnyValue},
    {19, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", AnyValue},
    {26, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar", AnyValue},
    {37, Machine, kWowWinlogon, u"UIHost"},
    {40, Machine, kWowWinlogon, u"Shell"},
    {47, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", AnyValue},
    {49, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\*", DefaultValue},
    {52, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\*", u"Debugger"},
    {56, Machine, kWowActiveSetup, u"StubPath"},
    {58, Machine, kWowActiveSetup, DefaultValue},
    {43, Machine, u"SOFTWARE\\Wow6432Node\\Classes\\PROTOCOLS\\Filter\\*", u"CLSID"},
    {45, Machine, u"SOFTWARE\\Wow6432Node\\Classes\\PROTOCOLS\\Handler\\*", u"CLSID"},
    {24, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\*", AnyValue},
    {64, Machine, kWowExtensions, u"Exec"},
    {64, Machine, kWowExtensions, u"Script"},
    {64, Machine, kWowExtensions, u"ClsidExtension"},
    {64, Machine, kWowExtensions, u"BandCLSID"},
    {73, Machine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\*", u"Path"},
};

constexpr std::u16string_view kSystemPolicies =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr std::u16string_view kShellFolders =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::u16string_view kSecurityCenter = u"SOFTWARE\\Microsoft\\Security Center";
constexpr std::u16string_view kProductKey = u"SOFTWARE\\Kelvra Security\\Brumevale";

constexpr WatchRow kSettingRows[] = {
    {76, EveryUser, kSystemPolicies, u"DisableRegistryTools"},
    {77, EveryUser, kSystemPolicies, u"DisableTaskMgr"},
    {78, EveryUser, kSystemPolicies, u"NoRun"},
    {79, EveryUser, kSystemPolicies, u"NoDispCPL"},
    {80, EveryUser, kSystemPolicies, u"NoDispBackgroundPage"},
    {81, EveryUser, kSystemPolicies, u"NoDisplScrSavPage"},
    {82, EveryUser, kSystemPolicies, u"NoDispAppearancePage"},
    {83, EveryUser, kSystemPolicies, u"NoDispSettingsPage"},
    {84, EveryUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", u"NoDriveTypeAutoRun"},
    {93, EveryUser, kShellFolders, u"Startup"},
    {85, Machine, kSecurityCenter, u"AntiVirusOverride"},
    {86, Machine, kSecurityCenter, u"AntiVirusDisableNotify"},
    {87, Machine, kSecurityCenter, u"FirewallOverride"},
    {88, Machine, kSecurityCenter, u"FirewallDisableNotify"},
    {92, Machine, kShellFolders, u"Common Startup"},
    {89, Machine, kProductKey, u"GuardProfile"},
    {90, Machine, kProductKey, u"pavil_uid"},
    {91, Machine, kProductKey, u"pavil_access"},
};

// The command of executable files: for the extension ".exe" and for its program
// identifier "exefile"; the extension's own default value only names the identifier.
struct ExtensionRow {
  uint32_t code;
  RegistryRootKind root;
  std::u16string_view prefix;  // before the identifier
  std::u16string_view suffix;  // after it
  bool extensionsOnly;
};

constexpr ExtensionRow kFileExtensionRows[] = {
    {94, Machine, u"SOFTWARE\\Classes\\", u"", true},
    {95, Machine, u"SOFTWARE\\Classes\\", u"\\shell", false},
    {96, Machine, u"SOFTWARE\\Classes\\", u"\\shell\\*\\command", false},
    {94, EveryUsersClasses, u"", u"", true},
    {95, EveryUsersClasses, u"", u"\\shell", false},
    {96, EveryUsersClasses, u"", u"\\shell\\*\\command", false},
};

constexpr WatchRow kDownloadTrackerRow = {
    97, EveryUser, u"SOFTWARE\\Kelvra Security\\Brumevale\\URLTracker", AnyValue};

void AddWatch(RegistryEventMatcher& matcher, RegistryRootKind root, std::u16string_view keyPath,
              WatchValue value, uint32_t code) {
  RegistryKeyPath path;
  path.Assign(root, u"", keyPath, 1);
  AddValueWatch(matcher, path, value.name, code, value.forceValue, 0);
}

void AddRows(RegistryEventMatcher& matcher, std::span<const WatchRow> rows) {
  for (const WatchRow& row : rows) AddWatch(matcher, row.root, row.keyPath, row.value, row.code);
}

void AddFileExtensionRows(RegistryEventMatcher& matcher, std::u16string_view id, bool extension) {
  for (const ExtensionRow& row : kFileExtensionRows) {
    if (row.extensionsOnly && !extension) continue;
    std::u16string keyPath(row.prefix);
    keyPath.append(id).append(row.suffix);
    AddWatch(matcher, row.root, keyPath, DefaultValue, row.code);
  }
}

}  // namespace

void BuildRegistryWatchTable(RegistryEventMatcher& matcher) {
  AddRows(matcher, kMachineRows);
  AddRows(matcher, kUserRows);
  AddRows(matcher, kWow64Rows);
  AddRows(matcher, kSettingRows);
  AddFileExtensionRows(matcher, u".exe", true);
  AddFileExtensionRows(matcher, u"exefile", false);
  AddRows(matcher, std::span(&kDownloadTrackerRow, 1));
}
