// Browser helper objects, Active Setup components and browser extensions: entries
// named by their key, several of whose values describe one entry.

#include <array>
#include <cstddef>

#include "families/browser/browser_helper_objects.h"
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
constexpr int32_t Ignore = kKeyDepthIgnore;
constexpr LiveHandler Helper = HandleBhoEvent;
constexpr LiveHandler Component = HandleActiveSetupEvent;
constexpr LiveHandler Extension = HandleBrowserExtensionEvent;

// key\* made from a key named once elsewhere: every subkey below it.
template <size_t N>
constexpr std::array<char16_t, N + 2> EverySubkeyOf(const char16_t (&key)[N]) {
  std::array<char16_t, N + 2> path{};  // the last stays the terminating zero
  for (size_t i = 0; i + 1 < N; ++i) path[i] = key[i];
  path[N - 1] = u'\\';
  path[N] = u'*';
  return path;
}

constexpr auto kHelperObjects = EverySubkeyOf(kBrowserHelperObjectsKey);
constexpr auto kWowHelperObjects = EverySubkeyOf(kBrowserHelperObjectsWow64Key);
constexpr std::u16string_view kActiveSetup =
    u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\*";
constexpr std::u16string_view kWowActiveSetup =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components\\*";
constexpr std::u16string_view kExtensions = u"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\*";
constexpr std::u16string_view kWowExtensions =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\*";

// The component's and extension's key is the fifth component below SOFTWARE (sixth
// below Wow6432Node); its name value is left to the StubPath code for a deleted key.
constexpr LocationDeclaration kLocations[] = {
    {kBrowserHelperCode,            kBrowserHelperType,      kClassLast,   kSid, 7,      Helper},
    {kBrowserHelperWow64Code,       kBrowserHelperWow64Type, kClassLast32, kSid, 8,      Helper},
    {kActiveSetupStubPathCode,      kActiveSetupType,        kLast,        kSid, 5,      Component},
    {kActiveSetupStubPathWow64Code, kActiveSetupWow64Type,   kLast,        kSid, 6,      Component},
    {kActiveSetupNameCode,          kActiveSetupType,        kLast,        kSid, Ignore, Component},
    {kActiveSetupNameWow64Code,     kActiveSetupWow64Type,   kLast,        kSid, Ignore, Component},
    {kIeExtensionCode,              kIeExtensionType,        kClassLast,   kSid, 5,      Extension},
    {kIeExtensionWow64Code,         kIeExtensionWow64Type,   kClassLast,   kSid, 6,      Extension},
    {kUserIeExtensionCode,          kUserIeExtensionType,    kClassLast,   kSid, Val,    Extension},
};

constexpr WatchedValue kWatched[] = {
    {kActiveSetupStubPathCode, M, kActiveSetup, u"StubPath"},
    {kActiveSetupNameCode, M, kActiveSetup, u""},
    {kBrowserHelperCode, M, kHelperObjects.data(), u"", true},
    {kIeExtensionCode, M, kExtensions, u"Exec"},
    {kIeExtensionCode, M, kExtensions, u"Script"},
    {kIeExtensionCode, M, kExtensions, u"ClsidExtension"},
    {kIeExtensionCode, M, kExtensions, u"BandCLSID"},
    {kUserIeExtensionCode, U, kExtensions, u"Exec"},
    {kUserIeExtensionCode, U, kExtensions, u"Script"},
    {kUserIeExtensionCode, U, kExtensions, u"ClsidExtension"},
    {kUserIeExtensionCode, U, kExtensions, u"BandCLSID"},
    {kActiveSetupStubPathWow64Code, M, kWowActiveSetup, u"StubPath"},
    {kActiveSetupNameWow64Code, M, kWowActiveSetup, u""},
    {kBrowserHelperWow64Code, M, kWowHelperObjects.data(), u"", true},
    {kIeExtensionWow64Code, M, kWowExtensions, u"Exec"},
    {kIeExtensionWow64Code, M, kWowExtensions, u"Script"},
    {kIeExtensionWow64Code, M, kWowExtensions, u"ClsidExtension"},
    {kIeExtensionWow64Code, M, kWowExtensions, u"BandCLSID"},
};

constexpr TypeDeclaration kTypes[] = {
    {kBrowserHelperType, u"BHO", false},
    {kBrowserHelperWow64Type, u"BHO (WOW6432)", false},
    {kActiveSetupType, u"Active Setup", false},
    {kActiveSetupWow64Type, u"Active Setup (WOW6432)", false},
    {kIeExtensionType, u"IE Extension", false},
    {kIeExtensionWow64Type, u"IE Extension (WOW6432)", false},
    {kUserIeExtensionType, u"User IE Extension", false},
};

}  // namespace

FamilyDeclarations BrowserLocations() {
  return {u"helper objects, components and extensions", kLocations, kWatched, kTypes,
          BrowserScanSteps()};
}

}  // namespace Families
