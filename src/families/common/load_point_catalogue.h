#pragma once
// The catalogue of load-point locations: what each matcher code means, answered from
// the families' declarations (families/common/location_families.h). It maps a code to
// the LoadPointType stored in LP_TYPE, says how an event of the code names its entry
// and which user it belongs to, and how deep below the root the entry's own key lies.
// Several codes share one type (the five watched values of a service key describe one
// service). Every handler converts a code through here before touching the database.

#include <cstdint>
#include <string>

#include "families/common/location_declaration.h"
#include "platform/system.h"

namespace Families {

// The declaration of a load-point code; null for settings, file extensions, downloads
// and unknown codes.
const LocationDeclaration* FindLocationDeclaration(uint32_t matcherCode);

// The scan location whose entries name a COM class watched under the code (which
// column holds the class, and whether it is a 32-bit registration); null for a code
// whose entries name no class.
const ScanLocation* FindClassScanLocation(uint32_t matcherCode);

// The LoadPointType of a matcher code; 0 for a code that is not a load-point code.
uint32_t LoadPointTypeOf(uint32_t matcherCode);

// ENTRY_NAME of the event: its value name, a key-path component, or for a COM-class
// location the class's friendly name read from the registry when the event comes
// from a class watch (empty when that cannot be read). Empty for the folder codes
// and every code without a load-point type.
std::u16string LoadPointEntryName(Platform::System& system, const Intake::BrumevaleRegistryEvent& event);

// USER_ID of the event: the SID of a user hive (empty under HKEY_LOCAL_MACHINE), or
// for control-set locations the control set's name (second key-path component).
std::u16string LoadPointUserId(const Intake::BrumevaleRegistryEvent& event);

// True for the types whose USER_ID is a control set.
bool IsControlSetType(uint32_t type);

// kKeyDepthValue, kKeyDepthIgnore or a depth (see location_declaration.h);
// kKeyDepthValue for codes without a load-point type.
int32_t LoadPointKeyDepth(uint32_t code);

// The SystemSetting TYPE watched by a code, else 0.
uint32_t SystemSettingTypeOf(uint32_t matcherCode);

// A name for people: the names of types 1 to 35 are the product's own; 36 to 65
// have names given for reports only. "Unknown" for any other value.
std::u16string LoadPointTypeDisplayName(uint32_t type);

}  // namespace Families
