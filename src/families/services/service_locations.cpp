// Services and drivers (five watched values of a service key describe one service)
// and network providers (a provider's own key and the machine's provider order).

#include "families/common/load_point_handlers.h"
#include "families/common/location_families.h"

using enum Intake::LoadPointType;
using enum Intake::MatcherCode;

namespace Families {

namespace {

using enum NameRule;
using enum UserRule;
constexpr auto M = kMachineRoot;
constexpr int32_t Val = kKeyDepthValue;
constexpr int32_t Ignore = kKeyDepthIgnore;
constexpr LiveHandler Service = HandleServiceEvent;
constexpr LiveHandler Provider = HandleNetworkProviderEvent;

constexpr std::u16string_view kService = u"SYSTEM\\*\\Services\\*";
constexpr std::u16string_view kNetworkProvider = u"SYSTEM\\*\\Services\\*\\NetworkProvider";

// A service's key is the fourth component (SYSTEM\<control set>\Services\<name>); a
// deleted service key is handled once, through its image path.
constexpr LocationDeclaration kLocations[] = {
    {kImagePathCode,        kServiceType,         kLast,   kControlSet, 4,      Service},
    {kServiceDllCode,       kServiceType,         kParent, kControlSet, 4,      Service},
    {kServiceTypeValueCode, kServiceType,         kLast,   kControlSet, Val,    Service},
    {kStartCode,            kServiceType,         kLast,   kControlSet, Val,    Service},
    {kDisplayNameCode,      kServiceType,         kLast,   kControlSet, Ignore, Service},
    {kProviderPathCode,     kNetworkProviderType, kParent, kControlSet, 4,      Provider},
    {kProviderNameCode,     kNetworkProviderType, kParent, kControlSet, Ignore, Provider},
    {kProviderOrderCode,    kNetworkProviderType, kNone,   kControlSet, Val,    Provider},
};

constexpr WatchedValue kWatched[] = {
    {kImagePathCode, M, kService, u"ImagePath"},
    {kServiceTypeValueCode, M, kService, u"Type"},
    {kStartCode, M, kService, u"Start"},
    {kDisplayNameCode, M, kService, u"DisplayName"},
    {kServiceDllCode, M, u"SYSTEM\\*\\Services\\*\\Parameters", u"ServiceDLL"},
    {kProviderOrderCode, M, u"SYSTEM\\*\\Control\\NetworkProvider\\Order", u"ProviderOrder"},
    {kProviderPathCode, M, kNetworkProvider, u"ProviderPath"},
    {kProviderNameCode, M, kNetworkProvider, u"Name"},
};

constexpr TypeDeclaration kTypes[] = {
    {kServiceType, u"Service", true},
    {kServiceDllType, u"Service DLL", true},
    {kDriverType, u"Driver", true},
    {kNetworkProviderType, u"Network Provider", true},
};

constexpr uint32_t kServiceTypes[] = {kServiceType, kDriverType};
constexpr uint32_t kProviderTypes[] = {kNetworkProviderType};

// A service, a driver and a network provider's path all live below Services; the
// provider order lives below Control. The service step watches the providers' keys
// too, so that a change below Services re-reads the services before the providers.
constexpr StepWatch kServiceWatches[] = {
    {ScanScope::kServices, u"Services", true, false, kServiceTypes},
    {ScanScope::kNetworkProviders, u"Services", true, false, kProviderTypes},
    {ScanScope::kNetworkProviders, u"Control\\NetworkProvider", true, false, kProviderTypes},
};

// The rescan reads a control set's providers and its services each in a step of its own.
constexpr ScanStepDeclaration kSteps[] = {
    {26, {ScanScope::kNetworkProviders, {}}},
    {29, {ScanScope::kServices, {}, kServiceWatches}},
};

}  // namespace

FamilyDeclarations ServiceLocations() {
  return {u"services and network providers", kLocations, kWatched, kTypes, kSteps};
}

}  // namespace Families
