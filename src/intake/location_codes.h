#pragma once
// The numbers that name a watched location (its matcher code) and a kind of load point
// (its LoadPointType, stored in LP_TYPE). Each family declares what its codes watch and
// how their events are named in its own table (src/families/*/..._locations.cpp); the
// numbers themselves sit down here because the intake's events, the ledger's rows and
// the tracker name some of them, and those layers cannot look up into the families.
// The values are stored and sent: they never change.

#include <cstdint>

namespace Intake {

enum MatcherCode : uint32_t {
  // Values and lists of the Run, Winlogon and shell keys (families/values).
  kRunCode = 1, kRunWow64Code = 2, kRunOnceCode = 3, kRunOnceWow64Code = 4,
  kUserRunCode = 5, kUserRunOnceCode = 6, kExplorerRunCode = 7, kExplorerRunWow64Code = 8,
  kUserExplorerRunCode = 9, kUserinitCode = 10, kUserinitWow64Code = 11,
  kAppInitDllsCode = 12, kAppInitDllsWow64Code = 13, kNotifyCode = 14, kNotifyWow64Code = 15,
  kDelayLoadCode = 16, kDelayLoadWow64Code = 17, kSharedTaskSchedulerCode = 18,
  kSharedTaskSchedulerWow64Code = 19, kUserWindowsRunLoadCode = 22, kToolbarCode = 25,
  kToolbarWow64Code = 26, kSecurityProvidersCode = 32, kAuthenticationPackagesCode = 33,
  kNotificationPackagesCode = 34, kSecurityPackagesCode = 35, kUIHostCode = 36,
  kUIHostWow64Code = 37, kTerminalServerStartupCode = 38, kWinlogonShellCode = 39,
  kWinlogonShellWow64Code = 40, kUserWinlogonShellCode = 41, kProtocolFilterCode = 42,
  kProtocolFilterWow64Code = 43, kProtocolHandlerCode = 44, kProtocolHandlerWow64Code = 45,
  kShellExecuteHooksCode = 46, kShellExecuteHooksWow64Code = 47, kIconOverlayCode = 48,
  kIconOverlayWow64Code = 49, kUserUrlSearchHooksCode = 50, kDebuggerCode = 51,
  kDebuggerWow64Code = 52, kUserScreenSaverCode = 53, kPrintMonitorCode = 54,
  kBootExecuteCode = 71,
  // Services, drivers and network providers (families/services).
  kImagePathCode = 20, kServiceDllCode = 21, kServiceTypeValueCode = 29, kStartCode = 30,
  kDisplayNameCode = 31, kProviderPathCode = 68, kProviderNameCode = 69, kProviderOrderCode = 70,
  // Browser helper objects, Active Setup and browser extensions (families/browser).
  kBrowserHelperCode = 23, kBrowserHelperWow64Code = 24, kActiveSetupStubPathCode = 55,
  kActiveSetupStubPathWow64Code = 56, kActiveSetupNameCode = 57, kActiveSetupNameWow64Code = 58,
  kIeExtensionCode = 63, kIeExtensionWow64Code = 64, kUserIeExtensionCode = 65,
  // Winsock catalogs (families/winsock).
  kNameSpaceLibraryCode = 59, kNameSpaceLibrary64Code = 60, kNameSpaceDisplayCode = 61,
  kNameSpaceDisplay64Code = 62, kProtocolCatalogCode = 66, kProtocolCatalog64Code = 67,
  // Startup folders (families/startup_folders) and tasks (families/tasks).
  kCommonStartupFolderCode = 27, kUserStartupFolderCode = 28, kTaskCacheCode = 72,
  kTaskCacheWow64Code = 73, kTasksFolderCode = 74, kTasksFolderWow64Code = 75,
  // System settings (families/settings): the settings table gives each its TYPE.
  kFirstSettingCode = 76, kLastSettingCode = 93,
  // The command of executable files (families/file_extensions).
  kExtensionDefaultCode = 94, kExtensionShellCode = 95, kVerbCommandCode = 96,
  // The download-tracking key, read by the tracker.
  kDownloadTrackingCode = 97,
  kLastMatcherCode = 97,
};

enum LoadPointType : uint32_t {
  kRunType = 1, kRunOnceType = 2, kUserRunType = 3, kUserRunOnceType = 4, kExplorerRunType = 5,
  kUserExplorerRunType = 6, kUserinitType = 7, kAppInitDllsType = 8, kNotifyType = 9,
  kDelayLoadType = 10, kSharedTaskSchedulerType = 11, kServiceType = 12, kServiceDllType = 13,
  kWindowsRunLoadType = 14, kBrowserHelperType = 15, kRunWow64Type = 16, kRunOnceWow64Type = 17,
  kExplorerRunWow64Type = 18, kUserinitWow64Type = 19, kAppInitDllsWow64Type = 20,
  kNotifyWow64Type = 21, kDelayLoadWow64Type = 22, kSharedTaskSchedulerWow64Type = 23,
  kBrowserHelperWow64Type = 24, kToolbarType = 25, kToolbarWow64Type = 26,
  kCommonStartupType = 27, kUserStartupType = 28, kDriverType = 29, kSecurityProvidersType = 30,
  kAuthenticationPackagesType = 31, kNotificationPackagesType = 32, kSecurityPackagesType = 33,
  kUIHostType = 34, kUIHostWow64Type = 35, kTerminalServerStartupType = 36,
  kWinlogonShellType = 37, kUserWinlogonShellType = 38, kWinlogonShellWow64Type = 39,
  kProtocolFilterType = 40, kProtocolHandlerType = 41, kShellExecuteHookType = 42,
  kShellExecuteHookWow64Type = 43, kIconOverlayType = 44, kIconOverlayWow64Type = 45,
  kUserUrlSearchHookType = 46, kDebuggerType = 47, kDebuggerWow64Type = 48,
  kUserScreenSaverType = 49, kPrintMonitorType = 50, kActiveSetupType = 51,
  kActiveSetupWow64Type = 52, kNameSpaceProviderType = 53, kIeExtensionType = 54,
  kIeExtensionWow64Type = 55, kUserIeExtensionType = 56, kProtocolProviderType = 57,
  kNetworkProviderType = 58, kBootExecuteType = 59, kProtocolFilterWow64Type = 60,
  kProtocolHandlerWow64Type = 61, kNameSpaceProvider64Type = 62, kProtocolProvider64Type = 63,
  kNativeTaskType = 64, kWow64TaskType = 65,
  kLastLoadPointType = 65,
};

}  // namespace Intake
