#pragma once
// How a family declares what the full rescan reads: its steps, each one family of
// locations read in one scope. A location says where the entries live, how they are
// read, which LP_TYPE they get and, for entries that name a COM class, which column
// holds the class and which matcher code watches it.

#include <cstdint>
#include <span>

namespace Families {

enum class ReadAs : uint8_t {
  kValues,           // every value: name and data
  kNamedValue,       // one value
  kList,             // one value split into items
  kSubkeys,          // every subkey with one of its values
  kExtensions,       // browser extensions
  kProtocolCatalog,  // Winsock protocol catalog entries
};

enum class ClassFrom : uint8_t { kNone, kEntryName, kCommandLine };

struct ScanLocation {
  ReadAs readAs;
  const char16_t* key;    // machine: below HKLM; per control set: below it; user: below the hive
  const char16_t* value;  // the value read (empty: the default value); null for kValues
  uint32_t type;
  bool wow64 = 0;      // 1: the key's 32-bit view, and its classes are 32-bit registrations
  ClassFrom classFrom = ClassFrom::kNone;
  uint32_t matcherCode = 0;
  const char16_t* display = nullptr;  // kSubkeys: the value giving DISPLAY_NAME (empty: default)
};

enum class ScanScope : uint8_t {
  kMachine,
  kPerControlSet,  // USER_ID is the control set
  kUserHives,      // USER_ID is the user's SID
  kNetworkProviders,
  kServices,
  kTasksWow64,
  kTasksNative,
  kBrowserHelperObjects,
  kStartupFolders,
  // No step of the table: the class keys that the scans watch for the locations
  // naming a class, re-read on their notifications (engine/class_server_reread.cpp).
  kClassServers,
  // No step either: the keys of the settings and file-extension checks, re-read by
  // running the checks (engine/check_findings.h).
  kChecks,
};

// A key (with its subtree) whose change re-reads a whole step when no driver reports
// the change: the steps that read a family at once name the keys they read. Units of
// one key are re-read in the order of their declaration.
struct StepWatch {
  ScanScope reread;
  const char16_t* key;  // per control set: below it; else below HKLM
  bool perControlSet;   // USER_ID of the rows is the control set
  bool wow64;           // the tasks' view
  std::span<const uint32_t> types;  // the LP_TYPEs the re-read covers
};

struct ScannerStep {
  ScanScope scope;
  std::span<const ScanLocation> locations;
  std::span<const StepWatch> watches = {};
};

// A family's step and its place in the rescan: the steps of all families run by
// rank. The rank decides the order in which new rows get their keys, so a step keeps
// its rank; ranks are unique across the families.
struct ScanStepDeclaration {
  int32_t rank;
  ScannerStep step;
};

}  // namespace Families
