// Scheduled tasks: the task cache's entries (the task's key is the eighth component
// below SOFTWARE, the ninth below Wow6432Node) and the task folders, whose file
// events the folder handlers name themselves.

#include "families/common/load_point_handlers.h"
#include "families/common/location_families.h"
#include "platform/win32_types.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum NameRule;
using enum UserRule;
constexpr auto M = kMachineRoot;
constexpr int32_t Val = kKeyDepthValue;

constexpr LocationDeclaration kLocations[] = {
    {kTaskCacheCode, kNativeTaskType, kLast, kSid, 8, HandleTaskCacheEvent},
    {kTaskCacheWow64Code, kWow64TaskType, kLast, kSid, 9, HandleTaskCacheEvent},
    {kTasksFolderCode, kNativeTaskType, kNone, kNoUser, Val, nullptr},
    {kTasksFolderWow64Code, kWow64TaskType, kNone, kNoUser, Val, nullptr},
};

#define TASK_CACHE u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks"
#define WOW_TASK_CACHE u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks"

constexpr WatchedValue kWatched[] = {
    {kTaskCacheCode, M, TASK_CACHE u"\\*", u"Path"},
    {kTaskCacheWow64Code, M, WOW_TASK_CACHE u"\\*", u"Path"},
};

constexpr TypeDeclaration kTypes[] = {
    {kNativeTaskType, u"Scheduled Task", false},
    {kWow64TaskType, u"Scheduled Task (WOW6432)", false},
};

constexpr uint32_t kNativeTypes[] = {kNativeTaskType};
constexpr uint32_t kWow64Types[] = {kWow64TaskType};

// Any change in the task cache re-reads the view's tasks.
constexpr StepWatch kWow64Watches[] = {{ScanScope::kTasksWow64, WOW_TASK_CACHE, false, true, kWow64Types}};
constexpr StepWatch kNativeWatches[] = {{ScanScope::kTasksNative, TASK_CACHE, false, false, kNativeTypes}};

// The task files, each view's in its own system folder.
constexpr FolderDeclaration kFolders[] = {
    {kTasksFolderCode, FolderPlace::kSpecialFolder, Platform::kCsidlSystem, u"\\Tasks"},
    {kTasksFolderWow64Code, FolderPlace::kSpecialFolder, Platform::kCsidlSystemX86, u"\\Tasks"},
};

// The rescan reads the 32-bit tasks early, the native ones late.
constexpr ScanStepDeclaration kSteps[] = {
    {12, {ScanScope::kTasksWow64, {}, kWow64Watches}},
    {27, {ScanScope::kTasksNative, {}, kNativeWatches}},
};

}  // namespace

FamilyDeclarations TaskLocations() {
  return {u"scheduled tasks", kLocations, kWatched, kTypes, kSteps, kFolders};
}

}  // namespace Families
