#pragma once
// Win32 numbers as the core sees them: error codes, value types, access masks and
// flags. The core never includes <windows.h>; these constants carry the same values
// so that a Win32 adapter passes them through unchanged.

#include <cstddef>
#include <cstdint>

namespace Platform {

using Win32Error = uint32_t;
using HResult = int32_t;
// Every handle of the seam is an opaque number; 0 is "no handle".
using Handle = uintptr_t;
// FILETIME as one 64-bit count of 100 ns intervals since 1601-01-01 UTC.
using FileTime = uint64_t;

// Win32 error numbers used by the system and the emulation.
inline constexpr Win32Error kErrorSuccess = 0;
inline constexpr Win32Error kErrorInvalidFunction = 1;
inline constexpr Win32Error kErrorFileNotFound = 2;
inline constexpr Win32Error kErrorPathNotFound = 3;
inline constexpr Win32Error kErrorAccessDenied = 5;
inline constexpr Win32Error kErrorInvalidHandle = 6;
inline constexpr Win32Error kErrorNotEnoughMemory = 8;
inline constexpr Win32Error kErrorInvalidData = 13;
inline constexpr Win32Error kErrorNoMoreFiles = 18;
inline constexpr Win32Error kErrorSharingViolation = 32;
inline constexpr Win32Error kErrorHandleEof = 38;
inline constexpr Win32Error kErrorNotSupported = 50;
inline constexpr Win32Error kErrorFileExists = 80;
inline constexpr Win32Error kErrorInvalidParameter = 87;
inline constexpr Win32Error kErrorCallNotImplemented = 120;
inline constexpr Win32Error kErrorInsufficientBuffer = 122;
inline constexpr Win32Error kErrorInvalidName = 123;
inline constexpr Win32Error kErrorDirNotEmpty = 145;
inline constexpr Win32Error kErrorBadPathname = 161;
inline constexpr Win32Error kErrorAlreadyExists = 183;
inline constexpr Win32Error kErrorEnvvarNotFound = 203;
inline constexpr Win32Error kErrorMoreData = 234;
inline constexpr Win32Error kErrorNoMoreItems = 259;
inline constexpr Win32Error kErrorDirectory = 267;
inline constexpr Win32Error kErrorNotOwner = 288;
inline constexpr Win32Error kErrorInvalidServiceControl = 1052;
inline constexpr Win32Error kErrorServiceRequestTimeout = 1053;
inline constexpr Win32Error kErrorServiceAlreadyRunning = 1056;
inline constexpr Win32Error kErrorServiceDoesNotExist = 1060;
inline constexpr Win32Error kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr Win32Error kErrorServiceNotActive = 1062;
inline constexpr Win32Error kErrorFailedServiceControllerConnect = 1063;
inline constexpr Win32Error kErrorServiceMarkedForDelete = 1072;
inline constexpr Win32Error kErrorServiceExists = 1073;
inline constexpr Win32Error kErrorKeyDeleted = 1018;
inline constexpr Win32Error kErrorBadnetPath = 53;
inline constexpr Win32Error kErrorNoneMapped = 1332;
inline constexpr Win32Error kErrorOperationAborted = 995;
inline constexpr Win32Error kErrorIoIncomplete = 996;
inline constexpr Win32Error kErrorNotifyEnumDir = 1022;

// HRESULTs of the filter-manager calls.
inline constexpr HResult kSOk = 0;
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005u);
inline constexpr HResult kEHandle = static_cast<HResult>(0x80070006u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): no such port.
inline constexpr HResult kEFileNotFound = static_cast<HResult>(0x80070002u);
// HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE) as reported once a port's driver is gone.
inline constexpr HResult kEPortDisconnected = static_cast<HResult>(0x801F0017u);
// HRESULT_FROM_WIN32(ERROR_NOACCESS): what a driver's misaligned-buffer fault
// (STATUS_DATATYPE_MISALIGNMENT) reaches the caller as.
inline constexpr HResult kENoAccess = static_cast<HResult>(0x800703E6u);

// Wait results.
inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitAbandoned = 0x80;
inline constexpr uint32_t kWaitTimeout = 0x102;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
// MAXIMUM_WAIT_OBJECTS: the most handles one WaitForMultipleObjects takes.
inline constexpr size_t kMaximumWaitObjects = 64;

// Registry value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegResourceList = 8;
inline constexpr uint32_t kRegFullResourceDescriptor = 9;
inline constexpr uint32_t kRegResourceRequirementsList = 10;
inline constexpr uint32_t kRegQword = 11;

// Registry access rights.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyNotify = 0x0010;
inline constexpr uint32_t kKeyCreateLink = 0x0020;
inline constexpr uint32_t kKeyWow6464Key = 0x0100;
inline constexpr uint32_t kKeyWow6432Key = 0x0200;
inline constexpr uint32_t kDelete = 0x00010000;
inline constexpr uint32_t kReadControl = 0x00020000;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

// Registry key options and dispositions.
inline constexpr uint32_t kRegOptionNonVolatile = 0;
inline constexpr uint32_t kRegOptionVolatile = 1;
inline constexpr uint32_t kRegOptionCreateLink = 2;
inline constexpr uint32_t kRegOptionOpenLink = 8;
inline constexpr uint32_t kRegCreatedNewKey = 1;
inline constexpr uint32_t kRegOpenedExistingKey = 2;

// RegNotifyChangeKeyValue filters.
inline constexpr uint32_t kRegNotifyChangeName = 0x1;
inline constexpr uint32_t kRegNotifyChangeAttributes = 0x2;
inline constexpr uint32_t kRegNotifyChangeLastSet = 0x4;
inline constexpr uint32_t kRegNotifyChangeSecurity = 0x8;

// Predefined registry keys, with their Win32 values.
inline constexpr Handle kHkeyClassesRoot = 0x80000000u;
inline constexpr Handle kHkeyCurrentUser = 0x80000001u;
inline constexpr Handle kHkeyLocalMachine = 0x80000002u;
inline constexpr Handle kHkeyUsers = 0x80000003u;
inline constexpr bool IsPredefinedKey(Handle key) {
  return key >= kHkeyClassesRoot && key <= kHkeyUsers;
}

// File access, sharing, creation and attributes.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kFileShareRead = 0x1;
inline constexpr uint32_t kFileShareWrite = 0x2;
inline constexpr uint32_t kFileShareDelete = 0x4;
inline constexpr uint32_t kCreateNew = 1;
inline constexpr uint32_t kCreateAlways = 2;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uint32_t kOpenAlways = 4;
inline constexpr uint32_t kTruncateExisting = 5;
inline constexpr uint32_t kFileAttributeReadonly = 0x1;
inline constexpr uint32_t kFileAttributeHidden = 0x2;
inline constexpr uint32_t kFileAttributeSystem = 0x4;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeArchive = 0x20;
inline constexpr uint32_t kFileAttributeNormal = 0x80;
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kFileFlagDeleteOnClose = 0x04000000u;
inline constexpr uint32_t kFileFlagBackupSemantics = 0x02000000u;
inline constexpr uint32_t kFileBegin = 0;
inline constexpr uint32_t kFileCurrent = 1;
inline constexpr uint32_t kFileEnd = 2;
inline constexpr uint32_t kMoveFileReplaceExisting = 0x1;

// ReadDirectoryChangesW filters (FILE_NOTIFY_CHANGE_*) and record actions
// (FILE_ACTION_*).
inline constexpr uint32_t kFileNotifyChangeFileName = 0x1;
inline constexpr uint32_t kFileNotifyChangeDirName = 0x2;
inline constexpr uint32_t kFileNotifyChangeAttributes = 0x4;
inline constexpr uint32_t kFileNotifyChangeSize = 0x8;
inline constexpr uint32_t kFileNotifyChangeLastWrite = 0x10;
inline constexpr uint32_t kFileNotifyChangeLastAccess = 0x20;
inline constexpr uint32_t kFileNotifyChangeCreation = 0x40;
inline constexpr uint32_t kFileNotifyChangeSecurity = 0x100;
inline constexpr uint32_t kFileActionAdded = 1;
inline constexpr uint32_t kFileActionRemoved = 2;
inline constexpr uint32_t kFileActionModified = 3;
inline constexpr uint32_t kFileActionRenamedOldName = 4;
inline constexpr uint32_t kFileActionRenamedNewName = 5;

// Process access rights.
inline constexpr uint32_t kProcessQueryInformation = 0x0400;
inline constexpr uint32_t kProcessQueryLimitedInformation = 0x1000;

// Service control manager.
inline constexpr uint32_t kScManagerConnect = 0x0001;
inline constexpr uint32_t kScManagerCreateService = 0x0002;
inline constexpr uint32_t kScManagerEnumerateService = 0x0004;
inline constexpr uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr uint32_t kServiceQueryConfig = 0x0001;
inline constexpr uint32_t kServiceChangeConfig = 0x0002;
inline constexpr uint32_t kServiceQueryStatus = 0x0004;
inline constexpr uint32_t kServiceStart = 0x0010;
inline constexpr uint32_t kServiceStop = 0x0020;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr uint32_t kServiceKernelDriver = 0x1;
inline constexpr uint32_t kServiceFileSystemDriver = 0x2;
inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr uint32_t kServiceWin32ShareProcess = 0x20;
inline constexpr uint32_t kServiceBootStart = 0;
inline constexpr uint32_t kServiceSystemStart = 1;
inline constexpr uint32_t kServiceAutoStart = 2;
inline constexpr uint32_t kServiceDemandStart = 3;
inline constexpr uint32_t kServiceDisabled = 4;
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlPause = 2;
inline constexpr uint32_t kServiceControlContinue = 3;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceControlShutdown = 5;
inline constexpr uint32_t kServiceControlPreshutdown = 0xF;
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceAcceptStop = 1;
inline constexpr uint32_t kServiceAcceptShutdown = 4;
inline constexpr uint32_t kServiceAcceptPreshutdown = 0x100;

// Operating-system identification.
inline constexpr uint32_t kVerPlatformWin32Windows = 1;
inline constexpr uint32_t kVerPlatformWin32Nt = 2;
inline constexpr uint8_t kVerNtWorkstation = 1;
inline constexpr uint8_t kVerNtDomainController = 2;
inline constexpr uint8_t kVerNtServer = 3;
inline constexpr uint16_t kProcessorArchitectureIntel = 0;
inline constexpr uint16_t kProcessorArchitectureAmd64 = 9;

// Shell folder numbers (CSIDL) used by the system.
inline constexpr int kCsidlPersonal = 5;
inline constexpr int kCsidlStartup = 7;
inline constexpr int kCsidlCommonStartup = 24;
inline constexpr int kCsidlAppData = 26;
inline constexpr int kCsidlCommonAppData = 35;
inline constexpr int kCsidlWindows = 36;
inline constexpr int kCsidlSystem = 37;
inline constexpr int kCsidlProgramFiles = 38;
inline constexpr int kCsidlProfile = 40;
inline constexpr int kCsidlSystemX86 = 41;

// SYSTEMTIME.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
  friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

}  // namespace Platform
