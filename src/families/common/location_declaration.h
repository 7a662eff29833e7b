#pragma once
// How a family declares its locations: per matcher code what it watches, the
// LoadPointType its entries get, how an event names the entry and its user, how deep
// the entry's own key lies, and the live handler; per type its name for people; and
// the steps in which the rescan reads them (families/common/scan_declaration.h). The
// engine builds its matcher and dispatch from these declarations and the catalogue
// (families/common/load_point_catalogue.h) answers from them. They live in the
// families rather than in the ledger below because each location's handler is a
// family's; the ledger's few users of a location's rules are families' routines
// (key deletion and keyed changes sit beside this header for that reason).

#include <cstdint>
#include <span>
#include <string_view>

#include "families/common/scan_declaration.h"
#include "intake/location_codes.h"
#include "intake/registry_key_path.h"
#include "ledger/change_record.h"

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// How an event names its entry.
enum class NameRule : uint8_t {
  kNone,         // not named from a registry event (folders)
  kValue,        // the value name
  kLast,         // the last key-path component
  kParent,       // the component before the last
  kClassValue,   // a COM class named by the value name
  kClassLast,    // a COM class named by the last component
  kClassValue32, // the same for the 32-bit twin, whose class lives below Wow6432Node
  kClassLast32,
};

// Where USER_ID comes from.
enum class UserRule : uint8_t {
  kNoUser,
  kSid,         // the user hive's SID, empty under HKEY_LOCAL_MACHINE
  kControlSet,  // the second key-path component
};

// Key depths. A positive depth is the 1-based position, in the event's key path, of
// the key whose name is the entry's name.
// The entry is a value: deleting a key always takes every entry of the location.
inline constexpr int32_t kKeyDepthValue = 0;
// A key deletion is left to a sister code watching the same key.
inline constexpr int32_t kKeyDepthIgnore = -1;

// One watched value of a key ("*" components stand for any one key name). anyValue
// watches every value of the key; an empty value name is the default value. A code
// may watch several values; no two rows watch one value of one key, so the order in
// which the matcher takes the rows never decides which event comes first.
struct WatchedValue {
  Intake::MatcherCode code;
  Intake::RegistryRootKind root;
  std::u16string_view keyPath;
  std::u16string_view valueName;
  bool anyValue = false;
};

using LiveHandler = void (*)(Ledger::LedgerContext&, const Intake::BrumevaleRegistryEvent&,
                             Ledger::ChangeRecords&);

struct LocationDeclaration {
  Intake::MatcherCode code;
  Intake::LoadPointType type;
  NameRule name;
  UserRule user;
  int32_t depth;
  LiveHandler handler;  // null for the folder codes, whose events are files
};

struct TypeDeclaration {
  Intake::LoadPointType type;
  std::u16string_view name;  // for people
  bool controlSet;           // USER_ID is a control set
};

// Where a folder whose files are load points lies. The engine turns each place into
// the machine's folders when it starts.
enum class FolderPlace {
  kSpecialFolder,  // a special folder (csidl) and the path below it
  kEachProfile,    // the startup folder of every user's profile but "All Users", named after it
  kCommonStartup,  // its special folder (csidl); before Vista, the "All Users" profile's
};

struct FolderDeclaration {
  Intake::MatcherCode code;
  FolderPlace place;
  int csidl = 0;                // kSpecialFolder and kCommonStartup
  std::u16string_view below{};  // kSpecialFolder: the path below the special folder
};

struct FamilyDeclarations {
  std::u16string_view family;
  std::span<const LocationDeclaration> locations;
  std::span<const WatchedValue> watched;
  std::span<const TypeDeclaration> types;
  std::span<const ScanStepDeclaration> scanSteps;
  std::span<const FolderDeclaration> folders{};
};

// Shorthands for the tables.
inline constexpr Intake::RegistryRootKind kMachineRoot = Intake::kRootMachine;
inline constexpr Intake::RegistryRootKind kEveryUserRoot = Intake::kRootUser;  // any user's hive

}  // namespace Families
