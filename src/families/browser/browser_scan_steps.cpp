// The rescan steps of Active Setup and the browser extensions; the helper objects are
// read by a step of their own.

#include "families/common/location_families.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum ReadAs;
using enum ClassFrom;
using enum ScanScope;

// Shorthands for the keys that recur below.
#define ACTIVE_SETUP_KEY u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components"
#define IE_KEY u"SOFTWARE\\Microsoft\\Internet Explorer"

// read as, key, value, LP_TYPE, 32-bit view, where the class is named, its matcher code, display
constexpr ScanLocation kWow64ActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        kActiveSetupWow64Type, true, kNone, 0, u""}};
constexpr ScanLocation kWow64Extensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            kIeExtensionWow64Type, true, kCommandLine, kIeExtensionWow64Code}};
constexpr ScanLocation kBrowserExtensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            kIeExtensionType, false, kCommandLine, kIeExtensionCode}};
constexpr ScanLocation kActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        kActiveSetupType, false, kNone, 0, u""}};

#undef ACTIVE_SETUP_KEY
#undef IE_KEY

// The rank is the step's place in the whole rescan.
constexpr ScanStepDeclaration kSteps[] = {
    {7, {kMachine, kWow64ActiveSetup}},
    {10, {kMachine, kWow64Extensions}},
    {15, {kBrowserHelperObjects, {}}},
    {17, {kMachine, kBrowserExtensions}},
    {23, {kMachine, kActiveSetup}},
};

}  // namespace

std::span<const ScanStepDeclaration> BrowserScanSteps() { return kSteps; }

}  // namespace Families
