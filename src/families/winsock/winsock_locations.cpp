// The Winsock name-space and protocol catalogs, native and 64-bit, per control set.

#include "families/common/load_point_handlers.h"
#include "families/common/location_families.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum NameRule;
using enum UserRule;
constexpr auto M = kMachineRoot;
constexpr int32_t Ignore = kKeyDepthIgnore;
constexpr LiveHandler NameSpace = HandleNameSpaceCatalogEvent;
constexpr LiveHandler Protocol = HandleProtocolCatalogEvent;

constexpr std::u16string_view kNameSpace =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries\\*";
constexpr std::u16string_view kNameSpace64 =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries64\\*";
constexpr std::u16string_view kProtocols =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries\\*";
constexpr std::u16string_view kProtocols64 =
    u"SYSTEM\\*\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries64\\*";

// A catalog entry is the eighth component; a deleted entry is handled once, through
// its library path.
constexpr LocationDeclaration kLocations[] = {
    {kNameSpaceLibraryCode,   kNameSpaceProviderType,   kLast, kControlSet, 8,      NameSpace},
    {kNameSpaceLibrary64Code, kNameSpaceProvider64Type, kLast, kControlSet, 8,      NameSpace},
    {kNameSpaceDisplayCode,   kNameSpaceProviderType,   kLast, kControlSet, Ignore, NameSpace},
    {kNameSpaceDisplay64Code, kNameSpaceProvider64Type, kLast, kControlSet, Ignore, NameSpace},
    {kProtocolCatalogCode,    kProtocolProviderType,    kLast, kControlSet, 8,      Protocol},
    {kProtocolCatalog64Code,  kProtocolProvider64Type,  kLast, kControlSet, 8,      Protocol},
};

constexpr WatchedValue kWatched[] = {
    {kNameSpaceLibraryCode, M, kNameSpace, u"LibraryPath"},
    {kNameSpaceLibrary64Code, M, kNameSpace64, u"LibraryPath"},
    {kNameSpaceDisplayCode, M, kNameSpace, u"DisplayString"},
    {kNameSpaceDisplay64Code, M, kNameSpace64, u"DisplayString"},
    {kProtocolCatalogCode, M, kProtocols, u"PackedCatalogItem"},
    {kProtocolCatalog64Code, M, kProtocols64, u"PackedCatalogItem"},
};

constexpr TypeDeclaration kTypes[] = {
    {kNameSpaceProviderType, u"Winsock Name Space Provider", true},
    {kProtocolProviderType, u"Winsock Protocol Provider", true},
    {kNameSpaceProvider64Type, u"Winsock Name Space Provider (64-bit)", true},
    {kProtocolProvider64Type, u"Winsock Protocol Provider (64-bit)", true},
};

}  // namespace

FamilyDeclarations WinsockLocations() { return {u"Winsock catalogs", kLocations, kWatched, kTypes, WinsockScanSteps()}; }

}  // namespace Families
