#pragma once
// The catalogue of load-point locations: what each matcher code (the number of a
// watched location, 1 to 97) means. It maps a code to the LoadPointType stored in
// LP_TYPE (1 to 65), says how an event of the code names its entry and which user
// it belongs to, and how deep below the root the entry's own key lies. Several
// codes share one type (the five watched values of a service key describe one
// service). Every handler converts a code through here before touching the database.

#include <cstdint>
#include <string>

#include "platform/system.h"

class BrumevaleRegistryEvent;

inline constexpr uint32_t kLastMatcherCode = 97;
inline constexpr uint32_t kLastLoadPointType = 65;

// The codes of the watched folders: the common and the users' startup folders, the
// native and the 32-bit task folders.
inline constexpr uint32_t kCommonStartupFolderCode = 27;
inline constexpr uint32_t kUserStartupFolderCode = 28;
inline constexpr uint32_t kTasksFolderCode = 74;
inline constexpr uint32_t kTasksFolderWow64Code = 75;

// Key depths returned by LoadPointKeyDepth. A positive depth is the 1-based
// position, in the event's key path, of the key whose name is the entry's name.
// The entry is a value: deleting a key always takes every entry of the location.
inline constexpr int32_t kKeyDepthValue = 0;
// A key deletion is left to a sister code watching the same key.
inline constexpr int32_t kKeyDepthIgnore = -1;

// The LoadPointType of a matcher code; 0 for a code that is not a load-point code
// (settings, file extensions, downloads, unknown codes).
uint32_t LoadPointTypeOf(uint32_t matcherCode);

// ENTRY_NAME of the event: its value name, a key-path component, or for a COM-class
// location the class's friendly name read from the registry when the event comes
// from a class watch (empty when that cannot be read). Empty for the folder codes
// and every code without a load-point type.
std::u16string LoadPointEntryName(Platform::System& system, const BrumevaleRegistryEvent& event);

// USER_ID of the event: the SID of a user hive (empty under HKEY_LOCAL_MACHINE), or
// for control-set locations the control set's name (second key-path component).
std::u16string LoadPointUserId(const BrumevaleRegistryEvent& event);

// Non-zero for the types whose USER_ID is a control set.
int32_t IsControlSetType(uint32_t type);

// kKeyDepthValue, kKeyDepthIgnore or a depth (see above); kKeyDepthValue for codes
// without a load-point type.
int32_t LoadPointKeyDepth(uint32_t code);

// The SystemSetting TYPE watched by a code (codes 76 to 93), else 0.
uint32_t SystemSettingTypeOf(uint32_t matcherCode);

// A name for people: the names of types 1 to 35 are the product's own; 36 to 65
// have names given for reports only. "Unknown" for any other value.
std::u16string LoadPointTypeDisplayName(uint32_t type);
