#pragma once
// <windows.h> and the SDK headers the adapters use, with the character-set macros
// that share a name with a seam method removed: the adapters call the W functions by
// their full name, so that "CreateFile" in this folder always means the seam's method.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <wincrypt.h>
#include <wintrust.h>
// wintrust.h and wincrypt.h before the catalog and provider headers that use them.
#include <aclapi.h>
#include <fltuser.h>
#include <mscat.h>
#include <psapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <softpub.h>
#include <tlhelp32.h>
#include <winver.h>

#undef CreateDirectory
#undef CreateEvent
#undef CreateFile
#undef CreateMutex
#undef CreateService
#undef DeleteFile
#undef ExpandEnvironmentStrings
#undef FindFirstFile
#undef FindNextFile
#undef GetComputerName
#undef GetCurrentDirectory
#undef GetEnvironmentVariable
#undef GetFileAttributesEx
#undef GetFileSecurity
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef GetFullPathName
#undef GetLongPathName
#undef GetModuleFileName
#undef GetProcessImageFileName
#undef GetVersionEx
#undef LookupAccountSid
#undef MoveFileEx
#undef OpenSCManager
#undef OpenService
#undef QueryDosDevice
#undef QueryFullProcessImageName
#undef RegisterServiceCtrlHandler
#undef RegisterServiceCtrlHandlerEx
#undef RemoveDirectory
#undef SendMessage
#undef SetFileAttributes
#undef SetFileSecurity
#undef StartService
#undef StartServiceCtrlDispatcher
#undef VerQueryValue
