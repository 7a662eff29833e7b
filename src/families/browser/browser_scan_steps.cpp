// The rescan steps of Active Setup and the browser extensions; the helper objects are
// read by a step of their own.

#include "families/common/location_families.h"

namespace {

using enum ReadAs;
using enum ClassFrom;
using enum ScanScope;

// Shorthands for the keys that recur below.
#define ACTIVE_SETUP_KEY u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components"
#define IE_KEY u"SOFTWARE\\Microsoft\\Internet Explorer"

//                   read as      key                       value                type wow64 class from  code display
constexpr ScanLocation kWow64ActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        52, true, kNone, 0, u""}};
constexpr ScanLocation kWow64Extensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            55, true, kCommandLine, 64}};
constexpr ScanLocation kBrowserExtensions[] = {
    {kExtensions,  IE_KEY u"\\Extensions",                 nullptr,            54, false, kCommandLine, 63}};
constexpr ScanLocation kActiveSetup[] = {
    {kSubkeys,     ACTIVE_SETUP_KEY,                       u"StubPath",        51, false, kNone, 0, u""}};

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
