// The common and the users' startup folders: file events, not registry ones, so the
// codes watch no value and have no registry handler; the folder handlers name the
// entries themselves.

#include "families/common/location_families.h"
#include "platform/win32_types.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum NameRule;
using enum UserRule;

constexpr LocationDeclaration kLocations[] = {
    {kCommonStartupFolderCode, kCommonStartupType, kNone, kNoUser, kKeyDepthValue, nullptr},
    {kUserStartupFolderCode, kUserStartupType, kNone, kNoUser, kKeyDepthValue, nullptr},
};

constexpr TypeDeclaration kTypes[] = {
    {kCommonStartupType, u"Startup Folder", false},
    {kUserStartupType, u"User Startup Folder", false},
};

constexpr FolderDeclaration kFolders[] = {
    {kCommonStartupFolderCode, FolderPlace::kCommonStartup, Platform::kCsidlCommonStartup},
    {kUserStartupFolderCode, FolderPlace::kEachProfile},
};

// The folders are the rescan's last step.
constexpr ScanStepDeclaration kSteps[] = {{30, {ScanScope::kStartupFolders, {}}}};

}  // namespace

FamilyDeclarations StartupFolderLocations() {
  return {u"startup folders", kLocations, {}, kTypes, kSteps, kFolders};
}

}  // namespace Families
