// The rescan steps of the Winsock catalogs, the 64-bit entries first.

#include "families/common/location_families.h"

using enum Intake::LoadPointType;

namespace Families {

namespace {

using enum ReadAs;
using enum ClassFrom;
using enum ScanScope;

// Shorthands for the keys that recur below.
#define WINSOCK_KEY u"Services\\WinSock2\\Parameters"

// read as, key, value, LP_TYPE, 32-bit view, where the class is named, its matcher code, display
constexpr ScanLocation kWinsockCatalogs64[] = {
    {kProtocolCatalog, WINSOCK_KEY u"\\Protocol_Catalog9\\Catalog_Entries64", nullptr, kProtocolProvider64Type}};
constexpr ScanLocation kNameSpaceCatalogs64[] = {
    {kSubkeys, WINSOCK_KEY u"\\NameSpace_Catalog5\\Catalog_Entries64", u"LibraryPath", kNameSpaceProvider64Type, false, kNone, 0, u"DisplayString"}};
constexpr ScanLocation kNameSpaceCatalogs[] = {
    {kSubkeys, WINSOCK_KEY u"\\NameSpace_Catalog5\\Catalog_Entries", u"LibraryPath", kNameSpaceProviderType, false, kNone, 0, u"DisplayString"}};
constexpr ScanLocation kWinsockCatalogs[] = {
    {kProtocolCatalog, WINSOCK_KEY u"\\Protocol_Catalog9\\Catalog_Entries", nullptr, kProtocolProviderType}};

#undef WINSOCK_KEY

// The rank is the step's place in the whole rescan.
constexpr ScanStepDeclaration kSteps[] = {
    {8, {kPerControlSet, kWinsockCatalogs64}},
    {9, {kPerControlSet, kNameSpaceCatalogs64}},
    {24, {kPerControlSet, kNameSpaceCatalogs}},
    {25, {kPerControlSet, kWinsockCatalogs}},
};

}  // namespace

std::span<const ScanStepDeclaration> WinsockScanSteps() { return kSteps; }

}  // namespace Families
